#!/usr/bin/env bash
# Pinned screenshots of the desktop application in a real session (see
# desktop-shell-test.sh for the session): a capture pinned through the
# session bus, the pin window's place and hints on the screen, its return
# after a restart, and a damaged pins index that costs no image.
#
#   pins-test.sh CASE
# shellcheck source=app-test.sh
. "$(dirname "$0")/app-test.sh"

data="${XDG_DATA_HOME:-$work/data}/io.tessarin.Tessarin"
pins="$data/Pins"

# activate ACTION [PARAMETER]: org.freedesktop.Application.ActivateAction.
activate() {
    local parameters="[]"
    [ $# -gt 1 ] && parameters="[<'$2'>]"
    gdbus call --session --dest io.tessarin.Tessarin --object-path /io/tessarin/Tessarin \
        --method org.freedesktop.Application.ActivateAction "$1" "$parameters" "{}" >/dev/null ||
        fail "the application did not take the action $1"
}

pin_window() { xdotool search --onlyvisible --name '^Tessarin Pin ' 2>/dev/null | head -n 1; }
pin_count() { xdotool search --onlyvisible --name '^Tessarin Pin ' 2>/dev/null | wc -l; }

# geometry WINDOW: "X Y WIDTH HEIGHT" on the screen.
geometry() {
    xwininfo -id "$1" | awk '/Absolute upper-left X:/{x=$4} /Absolute upper-left Y:/{y=$4}
                             /Width:/{w=$2} /Height:/{h=$2} END{print x, y, w, h}'
}

start_app() { start_over_xlogo 300x300+420+330 "$1"; }

stop_app() {
    kill -TERM "$app_pid"
    wait "$app_pid" 2>/dev/null || true
    grep -q "pins.quit_write written=true" "$work/$1.log" || fail "the pins were not written at quit"
}

pin_a_capture() {
    activate captureFullScreen pin
    wait_for '[ -n "$(pin_window)" ]' 10 || fail "no pin window showed"
    wait_for "grep -q '\"pins\":\[{' '$pins/index.json'" 5 || fail "the pin was not stored"
}

case_pin_survives_restart() {
    start_app first
    pin_a_capture
    local window id
    window=$(pin_window)
    id=$(xprop -id "$window" WM_NAME | sed -n 's/.*"Tessarin Pin \(.*\)"/\1/p')
    [ -f "$pins/images/$id.png" ] || fail "no image for pin $id"
    read -r x y w h <<<"$(geometry "$window")"  # where it opens is PinPlacementTest's
    # Above others, on every workspace, out of the taskbar.
    xprop -id "$window" _NET_WM_STATE | grep -q _NET_WM_STATE_ABOVE || fail "the pin does not stay above"
    xprop -id "$window" _NET_WM_STATE | grep -q _NET_WM_STATE_SKIP_TASKBAR || fail "the pin is in the taskbar"
    xprop -id "$window" _NET_WM_DESKTOP | grep -q 4294967295 || fail "the pin is not on every workspace"
    xprop -id "$window" WM_NORMAL_HINTS | grep -q "aspect" || fail "the pin has no aspect hint"
    # The history item it came from is marked pinned.
    wait_for "grep -q '\"id\":\"$id\"[^}]*\"isPinned\":true' '$data/History/index.json'" 5 ||
        fail "the history item is not marked pinned"
    # Dragged by its image, the window manager moves it; the new frame is stored.
    xdotool mousemove --sync $(( x + w / 2 )) $(( y + h / 2 )) mousedown 1
    for step in 1 2 3 4 5 6 7 8 9 10; do
        xdotool mousemove --sync $(( x + w / 2 - 20 * step )) $(( y + h / 2 - 8 * step ))
    done
    xdotool mouseup 1
    wait_for "[ \"\$(geometry $window | cut -d' ' -f1-2)\" = '$(( x - 200 )) $(( y - 80 ))' ]" 5 ||
        fail "the drag did not move the pin: $(geometry "$window")"
    local moved
    moved=$(geometry "$window")
    stop_app first
    start_app second
    wait_for '[ -n "$(pin_window)" ]' 10 || fail "the pin did not come back after a restart"
    # Mapped first, then placed by the window manager: wait for the place.
    wait_for '[ "$(geometry "$(pin_window)")" = "$moved" ]' 5 ||
        fail "the pin came back at $(geometry "$(pin_window)"), not $moved"
    [ "$(pin_count)" = 1 ] || fail "$(pin_count) pins came back"
}

case_close_and_restore_recently_closed() {
    start_app app
    pin_a_capture
    local window before
    window=$(pin_window)
    before=$(geometry "$window")
    read -r x y w h <<<"$before"
    # The close button, top right, shows while the pointer is over the pin.
    xdotool mousemove --sync $(( x + w / 2 )) $(( y + h / 2 ))
    xdotool mousemove --sync $(( x + w - 20 )) $(( y + 20 )) click 1
    wait_for '[ -z "$(pin_window)" ]' 5 || fail "the close button did not close the pin"
    wait_for "grep -q '\"recentlyClosed\":\[{' '$pins/index.json'" 5 || fail "the closed pin is not in recently closed"
    activate restoreRecentlyClosed
    wait_for '[ -n "$(pin_window)" ]' 10 || fail "Restore Recently Closed brought nothing back"
    wait_for '[ "$(geometry "$(pin_window)")" = "$before" ]' 5 ||
        fail "restored at $(geometry "$(pin_window)"), closed at $before"
    wait_for "grep -q '\"recentlyClosed\":\[\]' '$pins/index.json'" 5 || fail "the restored pin stayed in recently closed"
}

case_corrupt_index_deletes_no_image() {
    mkdir -p "$pins/images"
    local ids=(6A1B0C2D-0000-4000-8000-000000000001 6A1B0C2D-0000-4000-8000-000000000002)
    for id in "${ids[@]}"; do
        convert -size 64x48 xc:orange "$pins/images/$id.png"
        touch -d '2 hours ago' "$pins/images/$id.png"
    done
    printf '{"pins": [{"id": "%s", "x": 10' "${ids[0]}" >"$pins/index.json"
    start_app app
    wait_for "ls '$pins' | grep -q '^index.json.corrupt-'" 5 || fail "the damaged index was not kept aside"
    for id in "${ids[@]}"; do [ -f "$pins/images/$id.png" ] || fail "image $id was deleted"; done
    [ "$(pin_count)" = 0 ] || fail "a pin showed from a damaged index"
    # A new pin is stored beside them, and still nothing is collected.
    pin_a_capture
    stop_app app
    start_app again
    for id in "${ids[@]}"; do [ -f "$pins/images/$id.png" ] || fail "image $id was deleted at the next start"; done
}

run_case "$@"
