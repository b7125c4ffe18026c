#!/usr/bin/env bash
# The test session itself, run inside tests/support/wayland-run.sh with
# --outputs 2 --scales "1 2" --bg "#102030 #c08040": the layout the Wayland
# tests rely on, its colours, and a /tmp/out.png of its own.
set -u
fails=0
check() {  # DESCRIPTION ACTUAL EXPECTED
    if [ "$2" = "$3" ]; then echo "ok   $1"; else echo "FAIL $1: got '$2', want '$3'"; fails=$((fails + 1)); fi
}

check "outputs" "$("$WAYLAND_SESSION_SCRIPT" outputs | tr '\n' ';')" \
    "HEADLESS-1 0 0 1280 720 1.0;HEADLESS-2 1280 0 640 360 2.0;"
check "first output's colour" "$("$WAYLAND_SESSION_SCRIPT" pixel 10 10)" "#102030"
check "second output's colour" "$("$WAYLAND_SESSION_SCRIPT" pixel 1900 350)" "#c08040"
check "session type" "${XDG_SESSION_TYPE:-}" "wayland"
check "no X display" "${DISPLAY:-unset}" "unset"
if [ "$(id -u)" = 0 ]; then
    check "private /tmp/out.png" "$(findmnt -n -o TARGET /tmp/out.png)" "/tmp/out.png"
fi
[ "$fails" = 0 ]
