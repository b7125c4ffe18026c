#!/usr/bin/env bash
# The desktop application in a headless Wayland session (run inside
# tests/support/wayland-run.sh, which provides WAYLAND_DISPLAY, the session
# bus with its portals, and WAYLAND_SESSION_SCRIPT for pixels): it starts on
# Qt's Wayland platform, says what the desktop lacks, forwards links to the
# running copy, covers every output with its overlay, explains why windows
# cannot be picked where the portal shares none, captures the window picked
# in the portal's chooser where it does (a refused cast is the library's
# test), and runs actions from the GlobalShortcuts portal.
#
#   wayland-app-test.sh CASE
# shellcheck source=app-test.sh
. "$(dirname "$0")/app-test.sh"

# Folders of the case's own, never the user's.
export HOME=$work/home XDG_CONFIG_HOME=$work/home/.config XDG_DATA_HOME=$work/home/.local/share \
    XDG_CACHE_HOME=$work/home/.cache XDG_STATE_HOME=$work/home/.local/state
mkdir -p "$HOME/Desktop"
# The application chooses Qt's Wayland platform itself, also where
# Xwayland's DISPLAY is set (here one that answers nothing).
unset QT_QPA_PLATFORM
: "${WAYLAND_SESSION_SCRIPT:?run inside tests/support/wayland-run.sh}"

app_log() { echo "$work/app.log"; }

png() { "$WAYLAND_SESSION_SCRIPT" png "$@"; }

# first_image FOLDER: the first capture stored under FOLDER (thumbnails
# aside), once written whole (the name is claimed by an empty file first).
first_image() {
    local images="find '$1' -name '*.png' -not -path '*/thumbnails/*'" image
    wait_for "$images | grep -q ." 15 || fail "no capture under $1"
    image=$(eval "$images" | head -n 1)
    wait_for "png '$image' 0 0" 10 || fail "$image never became a whole image"
    echo "$image"
}
red_output() {  # red_output IMAGE: the session's one 1280x720 output, red (wayland-run.sh's default)
    [ "$(png "$1" 0 0 640 360 1279 719)" = "1280x720 #ff0000 #ff0000 #ff0000" ] ||
        fail "$1 is $(png "$1" 0 0 640 360 1279 719), not the red output"
}

# One start: the platform and what the desktop lacks, links forwarded to the
# running copy, and the window pick explaining itself.
case_starts_on_wayland() {
    DISPLAY=:97 launch app
    grep -q "app.platform qt=wayland" "$(app_log)" || fail "Qt is not on its Wayland platform"
    # sway has no StatusNotifier host: the application runs on and says so.
    grep -q "tray.unavailable" "$(app_log)" || fail "the missing tray was not reported"
    # Without the GlobalShortcuts portal the shortcuts say how to bind links instead.
    grep -q "shortcut.unavailable name=captureArea .*no global shortcuts portal" "$(app_log)" ||
        fail "the missing shortcuts portal was not explained"
    # The thumbnail made ahead waits unmapped: a compositor would put a
    # window "far off the screen" in its middle.
    wait_for "grep -q quickaccess.spare_ready '$(app_log)'" 10 || fail "no thumbnail was made ahead"
    [ "$("$WAYLAND_SESSION_SCRIPT" pixel 640 360)" = "#ff0000" ] || fail "a window stands in the middle of the screen"
    # A plain capture goes into the history; one saved to a file, onto the Desktop.
    "$TESSARIN" 'tessarin://capture-fullscreen' >"$work/later.log" 2>&1 || fail "the later start failed"
    red_output "$(first_image "$XDG_DATA_HOME/io.tessarin.Tessarin")"
    "$TESSARIN" 'tessarin://capture-fullscreen?action=save' >>"$work/later.log" 2>&1 || fail "the later start failed"
    red_output "$(first_image "$HOME/Desktop")"
    # Both later starts handed their link over and ended; the running copy took them.
    [ "$(grep -c 'instance.forward links=1 answered=true' "$work/later.log")" = 2 ] ||
        fail "a later start did not hand its link to the running application"
    [ "$(grep -c 'link.received' "$(app_log)")" = 2 ] || fail "the running application did not get both links"
    # Where the portal shares whole screens only, the window pick says so in the flow's own alert.
    "$TESSARIN" 'tessarin://capture-window' >>"$work/later.log" 2>&1 || fail "the later start failed"
    wait_for "grep -q 'window.pick unavailable: Picking a window is not available on this desktop: its screen-sharing portal shares whole screens only' '$(app_log)'" 15 ||
        fail "the window mode did not say why it cannot pick"
    wait_for "grep -q 'alert.warning title=Tessarin message=Capture failed: Picking a window is not available on this desktop' '$(app_log)'" 10 ||
        fail "the reason was not shown"
    # Nothing X11-only tried to run.
    if grep -Eq "X display|xcb|XCB" "$(app_log)"; then fail "an X11 path ran on Wayland"; fi
    kill -0 "$app_pid" || fail "the application is gone"
}

case_overlay_covers_each_output() {
    launch app
    "$TESSARIN" 'tessarin://capture-area' >"$work/later.log" 2>&1 || fail "the later start failed"
    wait_for "grep -q 'overlay.shown displays=2 frozen=true' '$(app_log)'" 15 || fail "the overlay did not show on both outputs"
    # Each output is dimmed over its own frozen colour: red at the left, green at the right.
    local shot=$work/overlay.png corners="5 5 1275 715 1285 5 2555 715"
    wait_for "grim '$shot' && [ \"\$(png '$shot' $corners)\" = '2560x720 #8c0000 #8c0000 #008c00 #008c00' ]" 10 ||
        fail "the outputs show $(png "$shot" $corners), not both dimmed"
    [ -n "${SHOTS:-}" ] && cp "$shot" "$SHOTS/wayland-overlay.png"
    kill -0 "$app_pid" || fail "the application is gone"
}

# Run with wayland-run.sh --cast-windows share: the portal's chooser
# "picks" the red output's desktop.
case_window_pick_captures_the_picked_window() {
    launch app
    "$TESSARIN" 'tessarin://capture-window' >"$work/later.log" 2>&1 || fail "the later start failed"
    wait_for "grep -q 'window.pick portal_chooser' '$(app_log)'" 15 || fail "the pick did not go to the portal's chooser"
    red_output "$(first_image "$XDG_DATA_HOME/io.tessarin.Tessarin")"
    grep -q '"types": 2}' "$WAYLAND_SESSION_DIR/logs/cast-windows-portal.log" || fail "the cast did not ask for a window"
    grep -q 'window.pick result=success image=1280x720' "$(app_log)" || fail "the pick did not end in a capture"
    # The first cast ended with its picture: a second pick asks and captures again.
    "$TESSARIN" 'tessarin://capture-window' >>"$work/later.log" 2>&1 || fail "the second later start failed"
    wait_for "[ \$(grep -c 'window.pick result=success image=1280x720' '$(app_log)') = 2 ]" 15 ||
        fail "the second pick did not end in a capture"
    wait_for "[ \$(grep -c '\"method\": \"Session.Close\"' '$WAYLAND_SESSION_DIR/logs/cast-windows-portal.log') = 2 ]" 10 ||
        fail "a pick's screen-cast session was left open"
    ! grep -q "alert.warning" "$(app_log)" || fail "the pick showed a warning"
    kill -0 "$app_pid" || fail "the application is gone"
}

# Run with wayland-run.sh --cast-windows cancel: the person closes the chooser.
case_window_pick_closed_chooser_captures_nothing() {
    launch app
    "$TESSARIN" 'tessarin://capture-window' >"$work/later.log" 2>&1 || fail "the later start failed"
    wait_for "grep -q '\"answer\": 1' '$WAYLAND_SESSION_DIR/logs/cast-windows-portal.log'" 15 ||
        fail "the chooser was never shown"
    wait_for "grep -q 'window.pick result=cancelled' '$(app_log)'" 10 || fail "the pick did not end as no pick"
    ! grep -q "alert.warning" "$(app_log)" || fail "closing the chooser was reported as an error"
    [ -z "$(find "$XDG_DATA_HOME" -name '*.png' 2>/dev/null)" ] || fail "something was captured"
    # The next capture runs: the flow is not left busy.
    "$TESSARIN" 'tessarin://capture-fullscreen' >>"$work/later.log" 2>&1 || fail "the later start failed"
    wait_for "find '$XDG_DATA_HOME' -name '*.png' -not -path '*/thumbnails/*' | grep -q ." 15 ||
        fail "the next capture did not run"
    kill -0 "$app_pid" || fail "the application is gone"
}

# Run with wayland-run.sh --cast-windows hold: the chooser stays open. The
# application quits all the same, closing the chooser, instead of waiting
# for the person.
case_window_pick_quit_while_choosing() {
    launch app
    local portal_log=$WAYLAND_SESSION_DIR/logs/cast-windows-portal.log
    "$TESSARIN" 'tessarin://capture-window' >"$work/later.log" 2>&1 || fail "the later start failed"
    wait_for "grep -q '\"method\": \"Start\"' '$portal_log'" 15 || fail "the chooser was never shown"
    kill -TERM "$app_pid"
    wait_for "! kill -0 $app_pid 2>/dev/null" 15 || fail "the application did not quit while the chooser was open"
    grep -q "app.exit status=0" "$(app_log)" || fail "the application did not end normally"
    # The portal passes the closes on to its backend as it gets them.
    wait_for "grep -q '\"method\": \"Request.Close\"' '$portal_log'" 10 || fail "the chooser was left open"
    wait_for "grep -q '\"method\": \"Session.Close\"' '$portal_log'" 10 || fail "the screen-cast session was left open"
}

# A scrolling capture of a region given by a link: its stream comes through
# ScreenCast (opened off the interface thread), auto-scroll is said to be
# unavailable (the wlroots portal has no RemoteDesktop), and quitting ends
# the capture with nothing kept.
case_scrolling_capture_streams_the_region_and_quitting_ends_it() {
    launch app
    "$TESSARIN" 'tessarin://scrolling-capture?x=100&y=100&width=400&height=300&autoscroll=yes' >"$work/later.log" 2>&1 ||
        fail "the later start failed"
    wait_for "grep -q 'scrolling.chrome panel=' '$(app_log)'" 10 || fail "the scrolling panel did not show"
    grep -q "scrolling.autoscroll unavailable reason=.*org.freedesktop.portal.RemoteDesktop" "$(app_log)" ||
        fail "the missing remote-desktop portal was not named"
    wait_for "grep -q 'cast.stream first_frame' '$(app_log)'" 15 || fail "the region's stream sent no frame"
    kill -TERM "$app_pid"
    wait_for "! kill -0 $app_pid 2>/dev/null" 15 || fail "the application did not quit during the capture"
    grep -q "scrolling.session end accepted=false" "$(app_log)" || fail "quitting did not end the capture"
    grep -q "app.exit status=0" "$(app_log)" || fail "the application did not end normally"
    if find "$XDG_DATA_HOME/io.tessarin.Tessarin" -name '*.png' -not -path '*/thumbnails/*' | grep -q .; then
        fail "an unfinished scrolling capture was kept"
    fi
}

# What the application asks of the portal, and an activation running once,
# are portal-shortcuts-test.sh's; here KDE's own back end runs an action.
case_portal_shortcut_runs_its_action() {
    launch app
    wait_for "grep -q 'shortcuts.bound' '$(app_log)'" 20 || fail "the shortcuts were never bound through the portal"
    local session component
    session=$(sed -n 's/.*shortcuts.session handle=\([^ ]*\).*/\1/p' "$(app_log)" | tail -n 1)
    component=${session##*/}
    [ -n "$component" ] || fail "no portal session in the log"
    # No key reaches kglobalaccel without KWin and input devices: invoke the
    # shortcut as the desktop does when its key is pressed.
    gdbus call --session --dest org.kde.kglobalaccel --object-path "/component/$component" \
        --method org.kde.kglobalaccel.Component.invokeShortcut captureFullScreen >/dev/null ||
        fail "kglobalaccel does not know the shortcut"
    wait_for "grep -q 'action.dispatch action=captureFullScreen source=shortcut' '$(app_log)'" 10 ||
        fail "the shortcut ran nothing"
}

run_case "$@"
