#!/usr/bin/env bash
# Global shortcuts through the GlobalShortcuts portal against a stand-in
# portal (fake-shortcuts-portal.py) on a private session bus: what the
# application asks the portal for, an activation running its action once,
# activations the portal did not send running nothing, and a refused session
# explained on every shortcut. Qt runs offscreen; WAYLAND_DISPLAY only marks
# the session as a Wayland one, which chooses the portal.
#
#   dbus-run-session -- portal-shortcuts-test.sh CASE
# shellcheck source=app-test.sh
. "$(dirname "$0")/app-test.sh"

export HOME=$work/home XDG_CONFIG_HOME=$work/home/.config XDG_DATA_HOME=$work/home/.local/share \
    XDG_CACHE_HOME=$work/home/.cache XDG_STATE_HOME=$work/home/.local/state
export QT_QPA_PLATFORM=offscreen WAYLAND_DISPLAY=tessarin-test-none XDG_SESSION_TYPE=wayland
unset DISPLAY TESSARIN_PLATFORM TESSARIN_BACKEND
portal_log=$work/portal.calls

start_portal() {  # start_portal answer|refuse; sets portal_pid
    : >"$portal_log"
    "$(dirname "$0")/fake-shortcuts-portal.py" "$1" "$portal_log" >>"$work/portal.log" 2>&1 &
    portal_pid=$!
    pids+=("$portal_pid")
    wait_for "grep -q owned '$portal_log'" 10 || fail "the stand-in portal did not start"
}

# calls METHOD FIELD: a field of the shortcuts the portal was last given by METHOD.
shortcut_field() {
    /usr/bin/python3 - "$portal_log" "$1" "$2" <<'PY'
import json, sys
calls = [json.loads(l) for l in open(sys.argv[1]) if '"method"' in l]
last = [c for c in calls if c['method'] == sys.argv[2]][-1]
print(' '.join('%s=%s' % (s['id'], s.get(sys.argv[3], '-')) for s in last['shortcuts']))
PY
}

activate() {
    gdbus call --session --dest org.freedesktop.portal.Desktop --object-path /org/freedesktop/portal/desktop \
        --method io.tessarin.test.FakePortal.Activate "$1" >/dev/null || fail "the stand-in portal did not activate $1"
}

case_activation_runs_its_action_once() {
    start_portal answer
    launch app
    wait_for "grep -q shortcuts.bound '$work/app.log'" 10 || fail "the shortcuts were never bound"
    # Seven names, our combinations as triggers in the portal's syntax, in
    # CreateSession (KDE Plasma 5.27 reads them there) and BindShortcuts alike.
    local expected="captureArea=Print captureFullScreen=SHIFT+Print captureAllInOne=- capturePreviousArea=- captureScrolling=- captureWindow=- recordVideo=-"
    for method in CreateSession BindShortcuts; do
        [ "$(shortcut_field $method preferred_trigger)" = "$expected" ] ||
            fail "$method got $(shortcut_field $method preferred_trigger)"
    done
    [[ "$(shortcut_field CreateSession description)" == "captureArea=Capture Area "* ]] ||
        fail "the descriptions are $(shortcut_field CreateSession description)"
    activate captureArea
    wait_for "grep -q 'action.dispatch action=captureArea source=shortcut' '$work/app.log'" 10 || fail "the activation ran nothing"
    # Anyone on the bus can send a signal; only the portal's count.
    gdbus emit --session --object-path /org/freedesktop/portal/desktop \
        --signal org.freedesktop.portal.GlobalShortcuts.Activated \
        "$(sed -n 's/.*shortcuts.session handle=\([^ ]*\).*/\1/p' "$work/app.log" | tail -n 1)" captureFullScreen 0 '@a{sv} {}'
    activate captureWindow  # bound only in the desktop's own settings
    wait_for "grep -q 'action.dispatch action=captureWindow source=shortcut' '$work/app.log'" 10 ||
        fail "a name bound only in the desktop ran nothing"
    [ "$(grep -c 'action.dispatch action=captureArea source=shortcut' "$work/app.log")" = 1 ] ||
        fail "one activation ran the action more than once"
    if grep -q 'action.dispatch action=captureFullScreen' "$work/app.log"; then
        fail "a signal from another client ran an action"
    fi
    # Quitting releases every shortcut without asking the portal for a new session.
    kill -TERM "$app_pid"
    wait_for "! kill -0 $app_pid" 10 || fail "the application did not quit"
    [ "$(grep -c '"method": "CreateSession"' "$portal_log")" = 1 ] ||
        fail "$(grep -c '"method": "CreateSession"' "$portal_log") sessions for one start"
}

case_refused_session_is_explained() {
    start_portal refuse
    launch app
    wait_for "grep -q 'shortcut.unavailable name=captureArea keys=Print reason=the shortcuts portal gave no session: the desktop portal refused org.freedesktop.portal.GlobalShortcuts.CreateSession or could not carry it out' '$work/app.log'" 10 ||
        fail "the refusal was not explained"
    grep -q 'shortcut.unavailable name=captureFullScreen keys=Shift+Print reason=the shortcuts portal gave no session' "$work/app.log" ||
        fail "the refusal was not explained for Shift+Print"
    kill -0 "$app_pid" || fail "the application is gone"
}

# A portal that restarts has forgotten the session: the application makes
# a new one, and the shortcuts work again.
case_a_restarted_portal_gets_a_new_session() {
    start_portal answer
    launch app
    wait_for "grep -q shortcuts.bound '$work/app.log'" 10 || fail "the shortcuts were never bound"
    kill -TERM "$portal_pid"
    wait "$portal_pid" 2>/dev/null || true
    start_portal answer
    wait_for "grep -q 'shortcuts.portal restarted' '$work/app.log'" 10 || fail "the new portal went unnoticed"
    wait_for "[ \$(grep -c shortcuts.bound '$work/app.log') -ge 2 ]" 10 || fail "no new session was bound"
    activate captureArea
    wait_for "grep -q 'action.dispatch action=captureArea source=shortcut' '$work/app.log'" 10 ||
        fail "an activation from the new portal ran nothing"
}

run_case "$@"
