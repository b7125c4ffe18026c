# shellcheck shell=bash
# lib.sh - helpers for tests that drive a desktop program inside
# tests/support/desktop-session.sh. Source it:  . tests/app/lib.sh
#
# Tools it uses: xdotool, dbus-send, ImageMagick (import, convert) and the
# X clients built in tests/app (hold-key, tray-icons), found through
# HOLD_KEY and TRAY_ICONS or else in APP_TEST_BIN (default: build/tests/app
# of this checkout). TESSARIN, when set, is the program under test; the
# screenshot helper then lets it take the picture.
#
# Every helper that waits takes a timeout and reports on standard error what
# it was waiting for when the time runs out; none sleeps a fixed time and
# hopes.

_app_lib_dir=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
APP_TEST_BIN=${APP_TEST_BIN:-$_app_lib_dir/../../build/tests/app}
HOLD_KEY=${HOLD_KEY:-$APP_TEST_BIN/hold-key}
TRAY_ICONS=${TRAY_ICONS:-$APP_TEST_BIN/tray-icons}

# wait_for CONDITION TIMEOUT_SECONDS
# Evaluates the shell text CONDITION every 50 ms until it succeeds (status
# 0) or TIMEOUT_SECONDS pass; status 1 and a message on timeout.
wait_for() {
    local condition=$1 timeout=${2:-10} deadline
    deadline=$(( $(date +%s%N) + ${timeout%.*} * 1000000000 ))
    while true; do
        eval "$condition" >/dev/null 2>&1 && return 0
        if [ "$(date +%s%N)" -ge "$deadline" ]; then
            echo "wait_for: still false after ${timeout} s: $condition" >&2
            return 1
        fi
        sleep 0.05
    done
}

# bus_owner_pid NAME
# Prints the process id of the connection that owns the bus name NAME on the
# session bus; status 1 when nobody owns it.
bus_owner_pid() {
    local reply
    reply=$(dbus-send --session --print-reply --dest=org.freedesktop.DBus /org/freedesktop/DBus \
        org.freedesktop.DBus.GetConnectionUnixProcessID "string:$1" 2>/dev/null) || return 1
    echo "$reply" | sed -n 's/^ *uint32 \([0-9][0-9]*\)$/\1/p' | grep . || return 1
}

# window_exists TITLE
# True when a viewable window's name matches TITLE (a regular expression, as
# xdotool search --name takes it).
window_exists() {
    xdotool search --onlyvisible --name "$1" >/dev/null 2>&1
}

# tray_icon_count
# Prints how many icons are docked in the system tray.
tray_icon_count() {
    "$TRAY_ICONS"
}

# screenshot OUT.png
# Writes a picture of the whole screen. With TESSARIN set, the program under
# test takes it (capture-full), which also exercises its capture path;
# otherwise, or when that fails, ImageMagick's import reads the root window.
screenshot() {
    local out=$1
    if [ -n "${TESSARIN:-}" ] && [ -x "$TESSARIN" ]; then
        "$TESSARIN" capture-full --out "$out" >/dev/null && return 0
        echo "screenshot: $TESSARIN capture-full failed; using import" >&2
    fi
    import -window root "$out"
}

# visible_windows
# Prints the ids (decimal) of every viewable window, sorted.
visible_windows() {
    xdotool search --onlyvisible --name '' 2>/dev/null | sort -n
}

# open_tray_menu [BUTTON] [ICON_INDEX] [TIMEOUT_SECONDS]
# Clicks the docked tray icon (the first one by default) with BUTTON (3, the
# right button, by default; some programs open their menu on 1) and waits
# for a new window to become viewable: the menu. Prints the new window's id
# (decimal); status 1 when there is no icon or nothing opened.
open_tray_menu() {
    local button=${1:-3} index=${2:-1} timeout=${3:-10} icon id x y w h before after
    icon=$("$TRAY_ICONS" --list | sed -n "${index}p")
    if [ -z "$icon" ]; then
        echo "open_tray_menu: no docked icon number $index" >&2
        return 1
    fi
    read -r id x y w h <<<"$icon"
    before=$(visible_windows)
    xdotool mousemove --sync $((x + w / 2)) $((y + h / 2)) click "$button"
    _new_window() {
        after=$(visible_windows)
        comm -13 <(echo "$before") <(echo "$after") | grep -m 1 .
    }
    # A click that lands while the icon is still being set up (docked, not
    # yet answering) is lost: one more after a few quiet seconds.
    if ! wait_for _new_window 4 2>/dev/null; then
        xdotool mousemove --sync $((x + w / 2)) $((y + h / 2)) click "$button"
        if ! wait_for _new_window "$timeout"; then
            echo "open_tray_menu: no window opened after clicking icon $id with button $button twice" >&2
            return 1
        fi
    fi
    _new_window
}

# toolbar_button LOG ACTION: "X Y", the screen point of the overlay
# toolbar's ACTION button (capture, copy, ocr, timer, record, …) as the
# overlay logged it when the pointer was last released.
toolbar_button() {
    local line
    wait_for "grep -q 'overlay.toolbar .*$2=' '$1'" 10 2>/dev/null || return 1
    line=$(grep 'overlay.toolbar ' "$1" | tail -n 1)
    sed -n "s/.* $2=\([0-9-]*\),\([0-9-]*\).*/\1 \2/p" <<<"$line "
}
