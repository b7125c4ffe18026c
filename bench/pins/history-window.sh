#!/usr/bin/env bash
# The capture history window with a long history: first paint and scrolling.
#
#   bench/pins/history-window.sh [--program build/src/tessarin] [--runs 5] [--display N] [--build-dir build]
#
# Each run is a fresh private desktop (tests/support/desktop-session.sh,
# 1920x1080) whose history is seeded with N items (tests/app/seed-history.py:
# an 800x600 PNG and a 440x330 JPEG thumbnail each), with
# historyMaxCount 500 so none is pruned and the window's frame fixed at
# 960x720 (four columns, three rows on the screen). The application runs
# with TESSARIN_LOG=stderr and TESSARIN_TRACE_STALLS=1 (a 1 ms timer on the
# main thread logs every time it fired more than 1 ms late).
#
# Figures, per N in 0 (the empty state), 50 and 500:
# 1. first paint (ms, median and worst of --runs; target 150 ms at 500):
#    from the "Open History" request reaching the application to the
#    grid's first paint with cells ("history_window.first_paint ... ms="),
#    for 0 items to the window being shown. The thumbnails arrive after
#    it: they are decoded and scaled on the background threads.
# 2. thumbnails on the screen (ms): from the request until the twelve
#    visible thumbnails are decoded ("history_window.thumbnails_visible").
# 3. scrolling (500 items only): 120 wheel steps, 16 ms apart, down the
#    grid; the longest main-thread stall while scrolling and how many
#    stalls exceeded one 60 Hz frame (16.7 ms). Thumbnails of the rows
#    scrolled past are decoded meanwhile, off the main thread.
#
# No other program offers this window; the reference is the same window
# in the same run with 0 and 50 items. The machine should be otherwise idle.
set -u

repo=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
self="$repo/bench/pins/history-window.sh"
session_script="$repo/tests/support/desktop-session.sh"

die() { echo "bench/pins: $*" >&2; exit 2; }

# ---------------------------------------------------------------- one run, inside a session

inside() {  # inside PROGRAM COUNT TRAY_ICONS
    local program=$1 count=$2
    export TRAY_ICONS=$3 TESSARIN=$program TESSARIN_LOG=stderr TESSARIN_TRACE_STALLS=1
    # shellcheck source=../../tests/app/lib.sh
    . "$repo/tests/app/lib.sh"
    local history="$XDG_DATA_HOME/io.tessarin.Tessarin/History" log="$XDG_RUNTIME_DIR/app.log"
    mkdir -p "$history" "$XDG_CONFIG_HOME/io.tessarin.Tessarin"
    if [ "$count" -gt 0 ]; then
        "$repo/tests/app/seed-history.py" "$history" "$count*Area" >/dev/null
    fi
    echo '{"historyMaxCount": 500, "windowFrameCaptureHistoryWindow": {"x": 100, "y": 80, "width": 960, "height": 720}}' \
        >"$XDG_CONFIG_HOME/io.tessarin.Tessarin/preferences.json"
    "$program" >"$log" 2>&1 &
    local pid=$!
    wait_for "grep -q app.ready '$log'" 20 || { kill "$pid"; echo "error: not ready"; return; }
    open_tray_menu 3 1 5 >/dev/null || { kill "$pid"; echo "error: no tray menu"; return; }
    xdotool key Up Up Up Up Return
    local first visible="-"
    if [ "$count" -eq 0 ]; then
        wait_for "grep -q 'history_window.shown' '$log'" 10 || { kill "$pid"; echo "error: not shown"; return; }
        first=$(grep -o 'history_window.shown items=0 ms=[0-9]*' "$log" | sed 's/.*ms=//')
    else
        wait_for "grep -q 'history_window.first_paint' '$log'" 10 || { kill "$pid"; echo "error: no paint"; return; }
        first=$(grep -o 'history_window.first_paint items=[0-9]* ms=[0-9]*' "$log" | sed 's/.*ms=//')
        wait_for "grep -q 'history_window.thumbnails_visible' '$log'" 20 &&
            visible=$(grep -o 'history_window.thumbnails_visible count=[0-9]* ms=[0-9]*' "$log" | head -n 1 | sed 's/.*ms=//')
    fi
    local longest="-" over="-"
    if [ "$count" -ge 500 ]; then
        local grid
        grid=$(grep -o 'grid=[0-9]*,[0-9]*' "$log" | head -n 1 | sed 's/grid=//')
        xdotool mousemove --sync $((${grid%,*} + 400)) $((${grid#*,} + 300))
        local before
        before=$(grep -c 'mainloop.stall' "$log")
        xdotool click --repeat 120 --delay 16 5
        # The last wheel steps may still be queued: give them half a second.
        sleep 0.5
        local stalls
        stalls=$(grep 'mainloop.stall' "$log" | tail -n +"$((before + 1))" | sed 's/.*ms=//')
        longest=$(printf '%s\n' "$stalls" | awk 'BEGIN{m=0} NF{if($1>m)m=$1} END{printf "%.1f", m}')
        over=$(printf '%s\n' "$stalls" | awk 'BEGIN{n=0} NF && $1>16.7 {n++} END{print n}')
    fi
    kill "$pid" 2>/dev/null
    wait "$pid" 2>/dev/null
    echo "result first=$first visible=$visible longest=$longest over=$over"
}

# ---------------------------------------------------------------- driver

median() { sort -n | awk '{v[NR]=$1} END{if(NR==0){print "-"; exit} print (NR%2 ? v[(NR+1)/2] : (v[NR/2]+v[NR/2+1])/2)}'; }
worst() { sort -n | tail -n 1; }

main() {
    local program="$repo/build/src/tessarin" runs=5 display="" build="$repo/build"
    while [ $# -gt 0 ]; do
        case "$1" in
            --inside) shift; inside "$@"; return ;;
            --program) program=$2; shift 2 ;;
            --runs) runs=$2; shift 2 ;;
            --display) display=$2; shift 2 ;;
            --build-dir) build=$2; shift 2 ;;
            *) die "unknown argument $1" ;;
        esac
    done
    [ -x "$program" ] || die "no program at $program (build it first)"
    local tray="$build/tests/app/tray-icons"
    [ -x "$tray" ] || die "no $tray (cmake --build build --target tray-icons)"
    local session=("$session_script" --screen 1920x1080)
    [ -n "$display" ] && session+=(--display "$display")

    printf '%-8s %-22s %-22s %-26s %s\n' items "first paint ms (med/max)" "12 thumbnails ms (med)" \
        "scroll: longest stall ms" "stalls > 16.7 ms"
    for count in 0 50 500; do
        local firsts=() visibles=() longests=() overs=()
        for ((run = 0; run < runs; run++)); do
            local line
            line=$("${session[@]}" -- "$self" --inside "$program" "$count" "$tray" 2>/dev/null | grep '^result\|^error' | tail -n 1)
            case "$line" in
                result*) ;;
                *) echo "bench/pins: run $run with $count items failed: $line" >&2; continue ;;
            esac
            firsts+=("$(sed 's/.*first=\([^ ]*\).*/\1/' <<<"$line")")
            visibles+=("$(sed 's/.*visible=\([^ ]*\).*/\1/' <<<"$line")")
            longests+=("$(sed 's/.*longest=\([^ ]*\).*/\1/' <<<"$line")")
            overs+=("$(sed 's/.*over=\([^ ]*\).*/\1/' <<<"$line")")
        done
        local first_med first_max visible_med longest_med over_med
        first_med=$(printf '%s\n' "${firsts[@]}" | grep -v '^-' | median)
        first_max=$(printf '%s\n' "${firsts[@]}" | grep -v '^-' | worst)
        visible_med=$(printf '%s\n' "${visibles[@]}" | grep -v '^-' | median)
        longest_med=$(printf '%s\n' "${longests[@]}" | grep -v '^-' | median)
        over_med=$(printf '%s\n' "${overs[@]}" | grep -v '^-' | median)
        printf '%-8s %-22s %-22s %-26s %s\n' "$count" "$first_med / ${first_max:--}" "$visible_med" "$longest_med" "$over_med"
    done
    echo "target: first paint within 150 ms with 500 items; scrolling without main-thread stalls over one frame"
}

main "$@"
