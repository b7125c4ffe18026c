#!/usr/bin/env bash
# The desktop application against a real session: Xvfb, openbox, a tray
# host (trayer) and a private session bus, started around each case by
# tests/support/desktop-session.sh with temporary XDG folders.
#
#   desktop-shell-test.sh CASE
#
# Environment: TESSARIN (the program), HOLD_KEY and TRAY_ICONS (the X
# clients of tests/app).
# shellcheck source=app-test.sh
. "$(dirname "$0")/app-test.sh"

dispatches() {  # dispatches LOG ACTION SOURCE: how many times the action ran
    grep -c "action.dispatch action=$2 source=$3 " "$1" || true
}

alive_count() {  # alive_count PID...: how many of them still run
    local count=0 pid
    for pid in "$@"; do kill -0 "$pid" 2>/dev/null && count=$((count + 1)); done
    echo "$count"
}

# Waits for the process to end (it must be this shell's child: never in a
# command substitution); sets exit_status.
wait_exit() {
    exit_status=0
    wait "$1" || exit_status=$?
}

case_docks_and_shortcut_runs_once() {
    launch app
    wait_for "[ \"\$(tray_icon_count)\" = 1 ]" 10 || fail "the tray icon never docked"
    local menu height
    menu=$(open_tray_menu 3 1 5) || fail "the tray menu did not open"
    # Eleven rows and six separators make a tall menu; a stray tooltip is small.
    height=$(xwininfo -id "$menu" | awk '/Height:/{print $2}')
    [ "$height" -gt 200 ] || fail "the window that opened ($height px high) is not the menu"
    xdotool key Escape
    grep -q "shortcut.refused" "$work/app.log" && fail "a default shortcut was refused"
    # Print opens the area overlay, which holds the keyboard until Escape.
    xdotool key Print
    wait_for "test \"\$(dispatches \"$work/app.log\" captureArea shortcut)\" -ge 1" 5 || fail "Print ran nothing"
    close_overlay 1
    xdotool key shift+Print
    wait_for "test \"\$(dispatches \"$work/app.log\" captureFullScreen shortcut)\" -ge 1" 5 || fail "Shift+Print ran nothing"
    wait_for "grep -q complete.route_policy '$work/app.log'" 10 || fail "the full screen capture did not complete"
    # A held key auto-repeats; it still runs its action once, on release.
    xset r on
    xset r rate 200 30
    xdotool keydown Print
    sleep 1
    xdotool keyup Print
    wait_for "test \"\$(dispatches \"$work/app.log\" captureArea shortcut)\" -ge 2" 5 || fail "the held key ran nothing"
    close_overlay 2
    [ "$(dispatches "$work/app.log" captureArea shortcut)" = 2 ] ||
        fail "Print ran $(dispatches "$work/app.log" captureArea shortcut) times for two presses"
    [ "$(dispatches "$work/app.log" captureFullScreen shortcut)" = 1 ] || fail "Shift+Print ran more than once"
}

close_overlay() {  # close_overlay N: the Nth overlay has shown; Escape closes it
    wait_for "[ \"\$(grep -c overlay.shown '$work/app.log')\" -ge $1 ]" 5 || fail "overlay $1 did not show"
    xdotool key Escape
    wait_for "! xdotool search --onlyvisible --name 'Tessarin Selection'" 5 || fail "overlay $1 stayed"
}

# Without a tray host and with Shift+Print held by another client, the
# application keeps running, the first-run guide's shortcut page warns of the
# conflict, and the free shortcut works.
case_combination_held_elsewhere_and_no_tray() {
    : "${HOLD_KEY:?}"
    # Only this session's tray host: others may run on the machine.
    local tray
    tray=$(for pid in $(pgrep -x trayer); do
        tr '\0' '\n' <"/proc/$pid/environ" 2>/dev/null | grep -qx "DISPLAY=$DISPLAY" && echo "$pid"
    done)
    [ -n "$tray" ] && kill $tray || fail "no tray host to take away"
    wait_for "! xdotool search --class trayer" 5 || fail "trayer stayed"
    "$HOLD_KEY" Shift+Print >"$work/holder.log" 2>&1 &
    pids+=($!)
    wait_for "grep -q holding \"$work/holder.log\"" 5 || fail "the other client could not grab Shift+Print"
    prefer '{"onboardingStepV1": 3}'
    keep_guide=1
    launch app
    grep -q "shortcut.refused name=captureFullScreen" "$work/app.log" || fail "the held combination was not reported"
    wait_for "grep -q 'onboarding.conflict_warning shown=true' '$work/app.log'" 5 || fail "the guide did not warn"
    grep -q "tray.unavailable" "$work/app.log" || fail "the missing tray was not logged"
    kill -0 "$app_pid" || fail "the application did not keep running"
    xdotool key Print
    wait_for "test \"\$(dispatches \"$work/app.log\" captureArea shortcut)\" -ge 1" 5 || fail "the free shortcut stopped working"
}

case_plain_start_replaces_running_copy() {
    launch first
    local first=$app_pid
    wait_for "test \"\$(bus_owner_pid io.tessarin.Tessarin)\" = \"$first\"" 5 || fail "the first copy does not own the bus name"
    launch second
    local second=$app_pid
    wait_for "test \"\$(bus_owner_pid io.tessarin.Tessarin)\" = \"$second\"" 5 || fail "the second copy did not take over"
    wait_exit "$first"
    [ "$exit_status" = 0 ] || fail "the replaced copy did not quit with status 0"
    grep -q "quit.begin reason=replaced" "$work/first.log" || fail "the replaced copy did not quit in order"
    # The newcomer grabbed the keys the old copy let go.
    grep -q "shortcut.refused" "$work/second.log" && fail "the new copy found its shortcuts taken"
    kill -0 "$second" || fail "the new copy is not running"
}

# A link start with no copy running becomes the application and handles
# the link; a later one hands its link over and ends.
case_links_start_or_reach_the_application() {
    launch app 'tessarin://no-such-command'
    [ "$(bus_owner_pid io.tessarin.Tessarin)" = "$app_pid" ] || fail "the link start does not own the bus name"
    wait_for "window_exists \"Unsupported URL\"" 5 || fail "the link that started the application was dropped"
    local status=0
    timeout 10 "$TESSARIN" 'tessarin://nonsense' >"$work/link.log" 2>&1 || status=$?
    [ "$status" = 0 ] || fail "the link start exited with $status"
    [ "$(bus_owner_pid io.tessarin.Tessarin)" = "$app_pid" ] || fail "the link start replaced the running copy"
    wait_for "[ \"\$(grep -c 'alert.warning title=Unsupported URL' '$work/app.log')\" = 2 ]" 5 ||
        fail "the running copy did not warn about the second link"
}

case_two_starts_at_once() {
    "$TESSARIN" >"$work/a.log" 2>&1 &
    local a=$!
    "$TESSARIN" >"$work/b.log" 2>&1 &
    local b=$!
    pids+=("$a" "$b")
    wait_for "bus_owner_pid io.tessarin.Tessarin" 15 || fail "nobody owns the bus name"
    # Exactly one survives, and it is the owner.
    wait_for "test \"\$(alive_count \"$a\" \"$b\")\" = 1" 10 || fail "$(alive_count "$a" "$b") copies are running"
    local owner
    owner=$(bus_owner_pid io.tessarin.Tessarin)
    kill -0 "$owner" || fail "the owner is not running"
}

# SIGTERM, SIGINT and SIGHUP each quit in order, with status 0 and the
# preferences written.
case_signals_quit_in_order() {
    local prefs="$XDG_CONFIG_HOME/io.tessarin.Tessarin/preferences.json"
    for signal in TERM INT HUP; do
        launch "app-$signal"
        kill "-$signal" "$app_pid"
        wait_exit "$app_pid"
        [ "$exit_status" = 0 ] || fail "SIG$signal did not end with status 0"
        grep -q "quit.begin reason=SIG$signal" "$work/app-$signal.log" || fail "SIG$signal skipped the orderly quit"
        grep -q "quit.flushed written=true" "$work/app-$signal.log" || fail "SIG$signal did not report everything written"
    done
    grep -q '"hasSetDefaultShortcutsV3"' "$prefs" || fail "the preferences were not written"
    grep -q '"KeyboardShortcuts_captureArea": *"Print"' "$prefs" || fail "the default shortcut was not stored"
}

run_case "$@"
