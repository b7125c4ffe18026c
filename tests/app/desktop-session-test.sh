#!/usr/bin/env bash
# Behaviour of tests/support/desktop-session.sh: what the command sees, the
# status it returns, and that nothing of the session outlives it.
#
#   desktop-session-test.sh DISPLAY_NUMBER CASE
#
# CASE is one of: environment, teardown, killed. TRAY_ICONS names
# the built tray-icons client.
set -u

here=$(cd "$(dirname "$0")" && pwd)
session="$here/../support/desktop-session.sh"
display=${1:?display number}
case_name=${2:?case}
scratch=$(mktemp -d "${TMPDIR:-/tmp}/desktop-session-test.XXXXXX")
trap 'rm -rf "$scratch"' EXIT

failures=0
expect() {
    local what=$1
    shift
    if "$@"; then
        echo "ok: $what"
    else
        echo "FAILED: $what" >&2
        failures=$((failures + 1))
    fi
}

running() {
    local state
    state=$(sed -n 's/^[0-9]* (.*) \([A-Za-z]\).*/\1/p' "/proc/$1/stat" 2>/dev/null) || return 1
    [ -n "$state" ] && [ "$state" != Z ]
}
none_running() {
    local pid
    for pid in "$@"; do
        running "$pid" && { echo "still running: $pid $(cat "/proc/$pid/cmdline" | tr '\0' ' ')" >&2; return 1; }
    done
    return 0
}
lock_gone() { [ ! -e "/tmp/.X$display-lock" ]; }
wait_for_gone() {
    for _ in $(seq 1 100); do [ -e "$1" ] || return 0; sleep 0.1; done
    return 1
}
all_gone_within_10s() {
    for _ in $(seq 1 100); do
        none_running "$@" 2>/dev/null && return 0
        sleep 0.1
    done
    none_running "$@"
}

# A session command that starts a child in its group and a daemon that
# leaves it (setsid), then writes their pids, the session's servers, tray,
# window manager and bus to $scratch/pids and the session folder to
# $scratch/dir.
record_session_pids='
    sleep 300 & echo $! >> "'"$scratch"'/pids"
    setsid sleep 301 </dev/null >/dev/null 2>&1 & echo $! >> "'"$scratch"'/pids"
    for name in Xvfb openbox trayer dbus-daemon; do
        for p in $(pgrep -x "$name"); do
            tr "\0" "\n" < /proc/$p/environ 2>/dev/null | grep -qxF "TESSARIN_DESKTOP_SESSION=$DESKTOP_SESSION_DIR" && echo $p
        done
    done >> "'"$scratch"'/pids"
    echo "$DESKTOP_SESSION_DIR" > "'"$scratch"'/dir"
'

case "$case_name" in
environment)
    # The command reports what it sees, one name=value a line.
    "$session" --display "$display" -- bash -c '
        echo "home=$HOME"
        for d in "$XDG_CONFIG_HOME" "$XDG_DATA_HOME" "$XDG_CACHE_HOME" "$XDG_RUNTIME_DIR"; do
            case "$d" in "$DESKTOP_SESSION_DIR"/*) ;; *) echo "outside=$d" ;; esac
            [ -d "$d" ] && [ -w "$d" ] || echo "unusable=$d"
        done
        echo "runtime_mode=$(stat -c %a "$XDG_RUNTIME_DIR")"
        echo "display=$DISPLAY"
        echo "wayland=${WAYLAND_DISPLAY-unset}"
        echo "session_type=$XDG_SESSION_TYPE"
        echo "qpa=$QT_QPA_PLATFORM"
        dbus-send --session --print-reply --dest=org.freedesktop.DBus /org/freedesktop/DBus \
            org.freedesktop.DBus.GetId >/dev/null && echo "bus=answers"
        xprop -root _NET_SUPPORTING_WM_CHECK | grep -q "window id" && echo "wm=running"
        echo "tray_icons=$("$TRAY_ICONS")"
    ' >"$scratch/seen" 2>"$scratch/errors"
    status=$?
    cat "$scratch/seen"
    expect "the command succeeded" [ "$status" -eq 0 ]
    expect "HOME is private" grep -q "^home=/.*/home$" "$scratch/seen"
    expect "HOME is not the user's" bash -c "! grep -qx 'home=$HOME' '$scratch/seen'"
    expect "every XDG folder is inside the session folder and usable" bash -c "! grep -qE '^(outside|unusable)=' '$scratch/seen'"
    # The runtime folder is private; the display, session type and Qt platform
    # are the session's X ones; the bus answers, the window manager runs and
    # the tray is there, empty.
    for line in runtime_mode=700 display=:$display wayland=unset session_type=x11 qpa=xcb bus=answers wm=running \
                tray_icons=0; do
        expect "$line" grep -qx "$line" "$scratch/seen"
    done
    ;;
teardown)
    # A child left in the command's group, a daemon that left it (setsid),
    # and the servers themselves: all must be gone afterwards; the command's
    # status is the session's.
    "$session" --display "$display" -- bash -c "$record_session_pids"$'\n'"exit 42"
    status=$?
    expect "the session's status is the command's" [ "$status" -eq 42 ]
    expect "servers, tray, window manager, bus and children were seen" [ "$(wc -l < "$scratch/pids")" -ge 6 ]
    # shellcheck disable=SC2046
    expect "none of them outlives the session" none_running $(cat "$scratch/pids")
    expect "the session folder is removed" [ ! -e "$(cat "$scratch/dir")" ]
    expect "the display's lock is released" lock_gone
    ;;
killed)
    # As ctest's timeout does it: SIGKILL, no chance to tear down.
    "$session" --display "$display" -- bash -c "$record_session_pids"$'\n'"exec sleep 302" &
    session_pid=$!
    for _ in $(seq 1 300); do [ -s "$scratch/dir" ] && break; sleep 0.1; done
    expect "the session started" [ -s "$scratch/dir" ]
    kill -KILL "$session_pid"
    wait "$session_pid" 2>/dev/null
    # shellcheck disable=SC2046
    expect "none of the session's processes survives it" all_gone_within_10s $(cat "$scratch/pids")
    expect "the session folder is removed" wait_for_gone "$(cat "$scratch/dir")"
    ;;
*)
    echo "unknown case $case_name" >&2
    exit 2
    ;;
esac

[ "$failures" -eq 0 ] || { echo "$failures check(s) failed" >&2; exit 1; }
