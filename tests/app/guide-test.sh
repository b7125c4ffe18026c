#!/usr/bin/env bash
# The first-run guide against a real session (tests/support/desktop-session.sh):
# "Restart Tessarin" brings the same process back (whose settings open at the
# tab a link names), and a first start walks through (the conflict warning
# is desktop-shell-test.sh's held-key case).
#
#   guide-test.sh CASE
#
# Environment: TESSARIN.
# shellcheck source=app-test.sh
. "$(dirname "$0")/app-test.sh"

# start_guide_at STEP: a first start whose guide resumes at STEP.
start_guide_at() {
    local file
    file=$(preferences_file)
    mkdir -p "$(dirname "$file")"
    echo "{\"onboardingStepV1\": $1}" >"$file"
    keep_guide=1
    launch app
    keep_guide=0
    wait_for "grep -q 'onboarding.page step=$1' '$work/app.log'" 10 || fail "the guide did not open at step $1"
    wait_for "xdotool search --onlyvisible --name 'Welcome to Tessarin'" 10 || fail "the guide window is not on screen"
}

case_restart_brings_the_same_process_back_and_settings_open_at_a_tab() {
    start_guide_at 1
    local window
    window=$(xdotool search --onlyvisible --name 'Welcome to Tessarin' | head -n 1)
    xdotool windowactivate --sync "$window" 2>/dev/null || xdotool windowfocus --sync "$window"
    xdotool key --window "$window" alt+r
    wait_for "grep -q 'app.relaunch program=' '$work/app.log'" 10 || fail "the restart did not begin"
    wait_for "[ \"\$(grep -c app.ready '$work/app.log')\" -ge 2 ]" 15 || fail "the program did not come back"
    kill -0 "$app_pid" || fail "the relaunched program is not the same process"
    wait_for "grep -q 'onboarding.page step=1' <(sed -n '/app.relaunch program=/,\$p' '$work/app.log')" 10 ||
        fail "the guide did not resume at the same step"
    # The program that came back answers links: the settings open at the tab a link names.
    timeout 10 "$TESSARIN" 'tessarin://open-settings?tab=history' >"$work/link.log" 2>&1 || fail "the link start failed"
    wait_for "grep -q 'settings.shown tab=history' '$work/app.log'" 10 || fail "the settings did not open at History"
    wait_for "xdotool search --onlyvisible --name '^Settings\$'" 10 || fail "the settings window is not on screen"
    # The same window again, at another tab; an unknown tab keeps it.
    timeout 10 "$TESSARIN" 'tessarin://open-settings?tab=shortcuts' >>"$work/link.log" 2>&1 || fail "the second link failed"
    wait_for "grep -q 'settings.shown tab=shortcuts' '$work/app.log'" 10 || fail "the open window did not switch tabs"
    timeout 10 "$TESSARIN" 'tessarin://open-settings?tab=nonsense' >>"$work/link.log" 2>&1 || fail "the third link failed"
    wait_for "grep -q 'settings.unknown_tab tab=nonsense' '$work/app.log'" 10 || fail "the unknown tab was not reported"
    [ "$(grep -c 'settings.shown tab=shortcuts' "$work/app.log")" = 2 ] || fail "an unknown tab changed the tab"
    [ "$(xdotool search --onlyvisible --name '^Settings$' | wc -l)" = 1 ] || fail "a second settings window opened"
}

case_a_first_start_walks_through_and_leaves_shortcuts_and_autostart() {
    start_guide_at 0
    local window step
    window=$(xdotool search --onlyvisible --name 'Welcome to Tessarin' | head -n 1)
    # Return presses each page's main button: Continue, Continue, Yes!, Done,
    # Continue, Start Using Tessarin.
    for step in 1 2 3 4 5; do
        xdotool windowactivate --sync "$window" 2>/dev/null || xdotool windowfocus --sync "$window"
        xdotool key --window "$window" Return
        wait_for "grep -q 'onboarding.page step=$step' '$work/app.log'" 5 || fail "Return did not lead to step $step"
    done
    xdotool windowactivate --sync "$window" 2>/dev/null || xdotool windowfocus --sync "$window"
    xdotool key --window "$window" Return
    wait_for "! xdotool search --onlyvisible --name 'Welcome to Tessarin'" 5 || fail "the guide did not close"
    grep -q 'onboarding.conflict_warning shown=false' "$work/app.log" || fail "the guide warned with nothing in the way"
    local prefs
    prefs=$(preferences_file)
    kill -TERM "$app_pid"
    wait "$app_pid" || fail "the application did not quit cleanly"
    grep -q '"onboardingCompletedV1": *true' "$prefs" || fail "the guide was not recorded as finished"
    grep -q '"onboardingSetAsDefaultV1": *true' "$prefs" || fail "the answer was not stored"
    grep -q '"KeyboardShortcuts_captureArea": *"Print"' "$prefs" || fail "Print is not the area shortcut"
    grep -q '"KeyboardShortcuts_captureFullScreen": *"Shift+Print"' "$prefs" || fail "Shift+Print is not the full screen shortcut"
    local entry="$XDG_CONFIG_HOME/autostart/io.tessarin.Tessarin.desktop"
    [ -f "$entry" ] || fail "no autostart entry"
    grep -qx "Exec=$(readlink -f "$TESSARIN")" "$entry" || fail "the entry does not start this program: $(grep Exec "$entry")"
    # The next start shows no guide, and the shortcut works.
    launch again
    grep -q 'onboarding.page' "$work/again.log" && fail "the guide opened again"
    xdotool key Print
    wait_for "grep -q 'action.dispatch action=captureArea source=shortcut' '$work/again.log'" 5 || fail "Print ran nothing"
}

run_case "$@"
