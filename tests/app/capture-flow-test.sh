#!/usr/bin/env bash
# The capture flow of the desktop application in a real session (see
# desktop-shell-test.sh for the session): a shortcut, a drag and a key, and
# what ends up in the history, on the clipboard and in the log.
#
#   capture-flow-test.sh CASE
# shellcheck source=app-test.sh
. "$(dirname "$0")/app-test.sh"

history_images="${XDG_DATA_HOME:-$work/data}/io.tessarin.Tessarin/History/images"

start_app() {
    xsetroot -solid '#2e4a62'
    xlogo -geometry 300x300+420+330 >/dev/null 2>&1 &
    pids+=($!)
    wait_for "xdotool search --onlyvisible --class xlogo" 5 || fail "xlogo did not show"
    launch app
}

overlay_shown() { wait_for "grep -q overlay.shown '$work/app.log'" 5 || fail "the overlay did not show"; }

# drag X1 Y1 X2 Y2: a selection with the left button, in screen pixels.
drag() {
    xdotool mousemove --sync "$1" "$2" mousedown 1 mousemove "$(( ($1 + $3) / 2 ))" "$(( ($2 + $4) / 2 ))" \
        mousemove --sync "$3" "$4" mouseup 1
}

completed() { wait_for "grep -q 'complete.thumbnail_schedule' '$work/app.log'" 10 || fail "the capture did not complete"; }

history_image() {
    wait_for "ls '$history_images'/*.png" 10 || fail "no image in the history"
    ls "$history_images"/*.png | head -n 1
}

same_pixels() {  # same_pixels A.png B.png
    [ "$(compare -metric AE "$1" "$2" null: 2>&1)" = 0 ]
}

area_matches_the_agent() {
    start_app
    xdotool key Print
    overlay_shown
    drag 400 300 700 500
    [ -n "${SHOTS:-}" ] && mkdir -p "$SHOTS" && "$TESSARIN" capture-full --out "$SHOTS/overlay-$1.png" >/dev/null
    xdotool key Return
    completed
    local image
    image=$(history_image)
    "$TESSARIN" capture-region --rect 400,300,300,200 --out "$work/agent.png" >/dev/null
    same_pixels "$image" "$work/agent.png" || fail "the history image differs from the agent's capture of the same area"
    # No overlay pixel: the agent read the screen after the overlay had gone.
    grep -q "capture.start mode=Area" "$work/app.log" || fail "no capture session was logged"
}

case_area_frozen() { area_matches_the_agent frozen; }

case_area_live() {
    prefer '{"freezeScreenDuringCapture": false}'
    area_matches_the_agent live
}

case_escape_leaves_nothing() {
    start_app
    xdotool key Print
    overlay_shown
    drag 400 300 700 500
    xdotool key Escape
    wait_for "! xdotool search --onlyvisible --name 'Tessarin Selection'" 5 || fail "the overlay stayed"
    # A later capture still works: the first one ended.
    xdotool key shift+Print
    wait_for "grep -q 'complete.route_policy' '$work/app.log'" 10 || fail "the next capture did not run"
    [ "$(grep -c 'complete.route_policy' "$work/app.log")" = 1 ] || fail "the cancelled capture completed"
    history_image >/dev/null
    [ "$(ls "$history_images" | wc -l)" = 1 ] || fail "the cancelled capture left an item"
}

case_copy_offers_png() {
    prefer '{"autoCopyToClipboard": true}'
    start_app
    xdotool key shift+Print
    completed
    wait_for "xclip -selection clipboard -t TARGETS -o | grep -qx image/png" 10 || fail "the clipboard offers no image/png"
    xclip -selection clipboard -t image/png -o >"$work/clip.png"
    same_pixels "$work/clip.png" "$(history_image)" || fail "the clipboard image differs from the history image"
}

case_window_pick() {
    prefer '{"KeyboardShortcuts_captureWindow": "Ctrl+Alt+w"}'
    start_app
    local logo
    logo=$(xdotool search --onlyvisible --class xlogo | head -n 1)
    local width height
    width=$(xwininfo -id "$logo" | awk '/Width:/{print $2}')
    height=$(xwininfo -id "$logo" | awk '/Height:/{print $2}')
    xdotool mousemove --sync 560 470
    xdotool key ctrl+alt+w
    wait_for "xdotool search --onlyvisible --name 'Tessarin Window Pick'" 5 || fail "the window pick did not show"
    xdotool mousemove --sync 570 480 click 1
    completed
    [ "$(identify -format '%wx%h' "$(history_image)")" = "${width}x${height}" ] ||
        fail "picked $(identify -format '%wx%h' "$(history_image)"), the xlogo is ${width}x${height}"
}

case_previous_area_round_trips() {
    prefer '{"KeyboardShortcuts_capturePreviousArea": "Ctrl+Alt+p"}'
    start_app
    xdotool key Print
    overlay_shown
    drag 400 300 700 500
    xdotool key Return
    completed
    # The application keeps the area in its preferences a moment later.
    wait_for "grep -q '\"lastCaptureSelection\"' '$(preferences_file)'" 10 || fail "the area was not kept"
    # The agent repeats the area the application captured…
    "$TESSARIN" capture-previous-region --out "$work/previous.png" >/dev/null || fail "the agent had no previous area"
    same_pixels "$work/previous.png" "$(history_image)" || fail "the agent's previous area differs"
    # …and the application repeats the area the agent captured.
    "$TESSARIN" capture-region --rect 100,120,250,150 --out "$work/agent.png" >/dev/null
    rm -f "$history_images"/*.png
    xdotool key ctrl+alt+p
    wait_for "[ \"\$(grep -c complete.route_policy '$work/app.log')\" = 2 ]" 10 || fail "the previous area was not captured"
    same_pixels "$(history_image)" "$work/agent.png" || fail "the application's replay differs from the agent's area"
}

case_self_timer_leaves_no_badge() {
    prefer '{"KeyboardShortcuts_captureAllInOne": "Ctrl+Alt+a", "capturePresetsEnabled": false,
             "selfTimerDurationSeconds": 1}'
    start_app
    xdotool key ctrl+alt+a
    overlay_shown
    drag 400 300 700 500
    local timer
    timer=$(toolbar_button "$work/app.log" timer) || fail "the toolbar offers no timer"
    xdotool mousemove --sync $timer click 1
    completed
    "$TESSARIN" capture-region --rect 400,300,300,200 --out "$work/agent.png" >/dev/null
    same_pixels "$(history_image)" "$work/agent.png" || fail "the timed capture differs (the badge in the picture?)"
}

# On the two-monitor server (DUMMY0 1280x800 at +0+0, DUMMY1 1024x768 at
# +1280+0), run by ctest under a private bus without a window manager.
case_second_display() {
    export HOME="$work/home" XDG_CONFIG_HOME="$work/config" XDG_DATA_HOME="$work/data"
    preferences="$XDG_CONFIG_HOME/io.tessarin.Tessarin/preferences.json"
    history_images="$XDG_DATA_HOME/io.tessarin.Tessarin/History/images"
    mkdir -p "$HOME"
    launch app
    xdotool mousemove --sync 1500 300
    xdotool key Print
    wait_for "grep -q 'overlay.shown displays=2' '$work/app.log'" 5 || fail "the overlay did not cover both displays"
    drag 1400 200 1700 400
    xdotool key Return
    completed
    "$TESSARIN" capture-region --display 1 --rect 120,200,300,200 --out "$work/agent.png" >/dev/null
    same_pixels "$(history_image)" "$work/agent.png" || fail "the capture on the second display differs from the agent's"
}

run_case "$@"
