#!/usr/bin/env bash
# The desktop-test helpers (lib.sh, hold-key, tray-icons) against plain X
# clients and, when it is installed, a real tray application (flameshot).
# Runs inside tests/support/desktop-session.sh:
#
#   desktop-session.sh --display N -- helpers-test.sh CASE
#
# CASE: hold-key, wait-for, log-lines, window, screenshot, key-latency,
# tray-app. KEY_LATENCY names bench/app's key-latency tool.
# Exit status 77 (skipped) for tray-app without flameshot.
set -u

here=$(cd "$(dirname "$0")" && pwd)
# shellcheck source=lib.sh
. "$here/lib.sh"
case_name=${1:?case}
[ -n "${DESKTOP_SESSION_DIR:-}" ] || { echo "run me inside tests/support/desktop-session.sh" >&2; exit 2; }
scratch="$DESKTOP_SESSION_DIR/scratch"
mkdir -p "$scratch"

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
line_is() { [ "$(cat "$1" 2>/dev/null)" = "$2" ]; }

case "$case_name" in
hold-key)
    "$HOLD_KEY" --report Print >"$scratch/print.out" 2>"$scratch/print.err" &
    wait_for "line_is '$scratch/print.out' holding" 10
    expect "the first client holds Print" line_is "$scratch/print.out" holding

    "$HOLD_KEY" Print >"$scratch/second.out" 2>"$scratch/second.err"
    status=$?
    expect "a second grab of Print is reported with status 3" [ "$status" -eq 3 ]
    expect "and says who has it" grep -qx "hold-key: Print is held by another client" "$scratch/second.err"
    expect "and never claims to hold it" bash -c "! grep -q holding '$scratch/second.out'"

    "$HOLD_KEY" Shift+Print >"$scratch/shift.out" 2>&1 &
    wait_for "line_is '$scratch/shift.out' holding" 10
    expect "Shift+Print is another combination, free to grab" line_is "$scratch/shift.out" holding

    # The grab covers NumLock and CapsLock: the key still reaches the holder.
    for locks in "" Num_Lock Caps_Lock "Num_Lock Caps_Lock"; do
        # shellcheck disable=SC2086
        [ -z "$locks" ] || xdotool key $locks
        before=$(count_log_lines "$scratch/print.err" "key.release key=Print")
        xdotool key Print
        wait_for "[ \$(count_log_lines '$scratch/print.err' 'key.release key=Print') -gt $before ]" 10
        expect "Print with locks '${locks:-none}' reaches the holder" \
            [ "$(count_log_lines "$scratch/print.err" "key.release key=Print")" -gt "$before" ]
        # shellcheck disable=SC2086
        [ -z "$locks" ] || xdotool key $locks
    done

    for bad in "Hyper+Print" "Shift+NoSuchKey" ""; do
        "$HOLD_KEY" "$bad" >/dev/null 2>"$scratch/bad.err"
        status=$?
        expect "'$bad' is refused as an argument (status 2)" [ "$status" -eq 2 ]
        expect "with a message" grep -q "hold-key: " "$scratch/bad.err"
    done
    ;;
wait-for)
    expect "a true condition is met at once" wait_for true 1
    ( sleep 0.3; touch "$scratch/late" ) &
    expect "a condition that becomes true is waited for" wait_for "[ -e '$scratch/late' ]" 10
    wait_for false 1 2>"$scratch/timeout.err"
    status=$?
    expect "a condition that stays false times out" [ "$status" -eq 1 ]
    expect "and the message names it" grep -q "still false after 1 s: false" "$scratch/timeout.err"
    ;;
log-lines)
    log="$scratch/app.log"
    expect "a missing log counts 0" [ "$(count_log_lines "$log" "action.dispatch")" -eq 0 ]
    cat >"$log" <<'EOF'
io.tessarin.shortcuts: action.dispatch action=captureArea source=shortcut handled=false
action.dispatch action=captureFullScreen source=shortcut handled=false
action.dispatch action=captureArea source=menu handled=true
actionXdispatch action=captureArea
EOF
    # label | text | count
    while IFS='|' read -r label text count; do
        expect "$label" [ "$(count_log_lines "$log" "$text")" -eq "$count" ]
    done <<'EOF'
every dispatch, with or without a category prefix|action.dispatch|3
one action|action.dispatch action=captureArea|2
one action from one source|action=captureArea source=shortcut|1
dots are not wildcards|action.dispatch action=captureArea source=menu handled=true|1
text that is not there|action=recordVideo|0
EOF
    ;;
window)
    expect "no window named tessarin-probe yet" bash -c ". '$here/lib.sh'; ! window_exists '^tessarin-probe\$'"
    xlogo -title tessarin-probe &
    logo=$!
    expect "a mapped window is found by its title" wait_for "window_exists '^tessarin-probe\$'" 10
    kill "$logo"; wait "$logo" 2>/dev/null
    expect "and no longer once it is closed" wait_for "! window_exists '^tessarin-probe\$'" 10
    ;;
screenshot)
    xsetroot -solid '#3366cc'
    xlogo -geometry 300x300+100+100 -bg white -fg black &
    logo=$!
    wait_for "window_exists xlogo" 10
    # By ImageMagick, then by the program under test when there is one.
    takers=(import)
    [ -n "${TESSARIN_PROGRAM:-}" ] && takers+=("$TESSARIN_PROGRAM")
    for taker in "${takers[@]}"; do
        if [ "$taker" = import ]; then unset TESSARIN; else export TESSARIN=$taker; fi
        shot="$scratch/shot-$(basename "$taker").png"
        screenshot "$shot" 2>"$scratch/shot.err"
        expect "$taker: the screenshot covers the screen" [ "$(identify -format '%wx%h' "$shot")" = 1920x1080 ]
        expect "$taker: it shows the root colour" [ "$(convert "$shot" -format '%[hex:p{1500,300}]' info:)" = 3366CC ]
        expect "$taker: it shows the window's drawing" region_varies "$shot" 110 110 280 280
        expect "$taker: an empty stretch of root is one colour" bash -c ". '$here/lib.sh'; ! region_varies '$shot' 1200 200 200 200"
        expect "$taker: took it itself" bash -c "! grep -q 'using import' '$scratch/shot.err'"
    done
    kill "$logo"; wait "$logo" 2>/dev/null
    ;;
key-latency)
    # The benchmark's timing tool, with hold-key standing in for a program
    # that reacts to a global shortcut.
    "$KEY_LATENCY" --key Shift+Print --match "key.release key=Shift+Print" --runs 5 --gap-ms 10 \
        --log "$scratch/holder.log" -- "$HOLD_KEY" --report Shift+Print >"$scratch/latency.out" 2>"$scratch/latency.err"
    status=$?
    cat "$scratch/latency.out"
    expect "every press is answered" [ "$status" -eq 0 ]
    expect "and counted" grep -q "^runs=5 dispatched=5 median_ms=[0-9.]* min_ms=" "$scratch/latency.out"
    expect "the program's standard error is logged" [ "$(count_log_lines "$scratch/holder.log" "key.release key=Shift+Print")" -ge 6 ]
    "$HOLD_KEY" Shift+Print >"$scratch/after.out" 2>&1 &
    holder=$!
    wait_for "line_is '$scratch/after.out' holding || ! kill -0 $holder" 10
    expect "the program was ended: the key is free again" line_is "$scratch/after.out" holding
    kill "$holder" 2>/dev/null

    # label | status | message | arguments
    while IFS='|' read -r label wanted message args; do
        eval "set -- $args"
        "$KEY_LATENCY" --ready-timeout 1 "$@" >/dev/null 2>"$scratch/refused.err"
        status=$?
        expect "$label: status $wanted" [ "$status" -eq "$wanted" ]
        expect "$label: says so" grep -qF "$message" "$scratch/refused.err"
    done <<'EOF'
a program that exits at once|3|exited (status 4) before dispatching|-- bash -c "exit 4"
a program that never answers|3|no line with 'action.dispatch action=captureArea' within 1 s|-- sleep 30
an unknown key|2|unknown key 'Prnt'|--key Prnt -- true
no program|2|usage: key-latency|--key Print
EOF
    ;;
tray-app)
    command -v flameshot >/dev/null || { echo "flameshot not installed (./scripts/install-deps.sh --bench): skipped"; exit 77; }
    expect "the tray starts empty" [ "$(tray_icon_count)" -eq 0 ]
    flameshot >"$scratch/flameshot.log" 2>&1 &
    app=$!
    expect "its icon docks" wait_for "[ \$(tray_icon_count) -eq 1 ]" 30
    expect "its bus name is owned by it" wait_for "[ \"\$(bus_owner_pid org.flameshot.Flameshot)\" = $app ]" 30
    expect "a name nobody owns has no pid" bash -c ". '$here/lib.sh'; ! bus_owner_pid io.tessarin.Nobody"
    menu=$(open_tray_menu 3)
    expect "a right click on the icon opens a menu" [ -n "$menu" ]
    read -r _ x y w h <<<"$("$TRAY_ICONS" --list)"
    screenshot "$scratch/tray.png"
    expect "the screenshot shows the icon" region_varies "$scratch/tray.png" "$x" "$y" "$w" "$h"
    eval "$(xdotool getwindowgeometry --shell "$menu")"  # X Y WIDTH HEIGHT
    expect "and the menu" region_varies "$scratch/tray.png" "$X" "$Y" "$WIDTH" "$HEIGHT"
    xdotool key Escape
    kill "$app"; wait "$app" 2>/dev/null
    expect "the icon leaves with its program" wait_for "[ \$(tray_icon_count) -eq 0 ]" 10
    ;;
*)
    echo "unknown case $case_name" >&2
    exit 2
    ;;
esac

[ "$failures" -eq 0 ] || { echo "$failures check(s) failed" >&2; exit 1; }
