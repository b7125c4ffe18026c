#!/usr/bin/env bash
# The capture flow of the desktop application: shortcut to overlay, drag
# repaints, the overlay's memory, shortcut to thumbnail, main-thread stalls,
# and flameshot on the same X server. Every figure comes from a fresh
# private desktop (tests/support/desktop-session.sh). See bench/flow/README.md.
#
#   bench/flow/run.sh [--program build/src/tessarin] [--runs 15] [--display N] [--build-dir build]
set -u

repo=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
self="$repo/bench/flow/run.sh"
session_script="$repo/tests/support/desktop-session.sh"
all_in_one_key="Ctrl+Alt+a"

die() { echo "bench/flow: $*" >&2; exit 2; }
log() { echo "bench/flow: $*" >&2; }

# ---------------------------------------------------------------- helpers run inside a session

now_ms() { echo "${EPOCHREALTIME/./}" | awk '{ printf "%.3f", $1 / 1000 }'; }

# VmRSS in KiB of pid $1.
rss_kib() { sed -n 's/^VmRSS:[[:space:]]*\([0-9]*\) kB$/\1/p' "/proc/$1/status" 2>/dev/null; }

cpu_ticks() {
    local rest fields
    rest=$(cat "/proc/$1/stat" 2>/dev/null) || { echo 0; return; }
    rest=${rest##*) }
    read -r -a fields <<<"$rest"
    echo $((fields[11] + fields[12]))
}

# Waits until pid $1 used no CPU for a whole second (at most 20 s).
settle() {
    local previous ticks quiet=0 waited=0
    previous=$(cpu_ticks "$1")
    while [ "$quiet" -lt 2 ] && [ "$waited" -lt 40 ]; do
        sleep 0.5
        waited=$((waited + 1))
        ticks=$(cpu_ticks "$1")
        if [ "$ticks" -eq "$previous" ]; then quiet=$((quiet + 1)); else quiet=0; fi
        previous=$ticks
    done
}

# lines_with FILE TEXT: how many lines of FILE hold TEXT.
lines_with() { grep -cF -- "$2" "$1" 2>/dev/null || true; }

# wait_lines FILE TEXT COUNT [TIMEOUT_S]: until FILE holds COUNT lines with TEXT.
wait_lines() {
    local deadline=$(( $(date +%s) + ${4:-10} ))
    while [ "$(lines_with "$1" "$2")" -lt "$3" ]; do
        [ "$(date +%s)" -lt "$deadline" ] || return 1
        sleep 0.02
    done
}

# Splits the screen into two 3840x2160 monitors side by side.
two_monitors() {
    xrandr --setmonitor A 3840/1016x2160/571+0+0 screen >/dev/null \
        && xrandr --setmonitor B 3840/1016x2160/571+3840+0 none >/dev/null
}

# inner layout LAYOUT -- CMD...: runs CMD on the given layout (one, two)
# with the All-in-One shortcut set in the preferences.
inner_layout() {
    local layout=$1
    shift 2
    if [ "$layout" = two ]; then two_monitors || { echo "error=xrandr --setmonitor failed"; return 0; }; fi
    mkdir -p "$XDG_CONFIG_HOME/io.tessarin.Tessarin"
    echo "{\"KeyboardShortcuts_captureAllInOne\": \"$all_in_one_key\", \"onboardingCompletedV1\": true}" \
        >"$XDG_CONFIG_HOME/io.tessarin.Tessarin/preferences.json"
    "$@"
}

start_app() {  # start_app LOG [ENV...]: sets app_pid once app.ready is logged
    local out=$1 prefs="$XDG_CONFIG_HOME/io.tessarin.Tessarin/preferences.json"
    shift
    # A user's usual day: the first-run guide was finished long ago (its
    # window would otherwise be open through every capture).
    mkdir -p "$(dirname "$prefs")"
    [ -e "$prefs" ] || echo '{"onboardingCompletedV1": true}' >"$prefs"
    env TESSARIN_LOG=stderr "$@" "$PROGRAM" >"$out" 2>&1 </dev/null &
    app_pid=$!
    wait_lines "$out" app.ready 1 20
}

stop_app() {
    kill -TERM "$app_pid" 2>/dev/null
    for _ in $(seq 1 100); do kill -0 "$app_pid" 2>/dev/null || break; sleep 0.05; done
    kill -KILL "$app_pid" 2>/dev/null
    wait "$app_pid" 2>/dev/null
}

# inner memory LAYOUT: "idle_kib=N overlay_kib=N closed_kib=N displays=N"
inner_memory() {
    local out="$DESKTOP_SESSION_DIR/app.log" idle overlay closed
    [ "$1" = two ] && { two_monitors || { echo "error=xrandr --setmonitor failed"; return 0; }; }
    start_app "$out" || { echo "error=not ready: $(tail -n 3 "$out" | tr '\n' ' ')"; stop_app; return 0; }
    settle "$app_pid"
    idle=$(rss_kib "$app_pid")
    xdotool key Print
    wait_lines "$out" overlay.shown 1 20 || { echo "error=no overlay"; stop_app; return 0; }
    settle "$app_pid"
    overlay=$(rss_kib "$app_pid")
    xdotool key Escape
    sleep 1
    closed=$(rss_kib "$app_pid")
    echo "idle_kib=$idle overlay_kib=$overlay closed_kib=$closed displays=$(grep -o 'overlay.shown displays=[0-9]*' "$out" | head -n 1 | sed 's/.*=//')"
    stop_app
}

# inner drag RUNS: one "overlay.paint" line per paint during RUNS drags of
# 150 motion events 8 ms apart each, as "ms area" lines on standard output.
inner_drag() {
    local runs=$1 out="$DESKTOP_SESSION_DIR/app.log" before moves x y
    start_app "$out" TESSARIN_TRACE_PAINT=1 || { echo "error=not ready"; stop_app; return 0; }
    for _ in $(seq 1 "$runs"); do
        local shown
        shown=$(lines_with "$out" overlay.shown)
        xdotool key Print
        wait_lines "$out" overlay.shown $((shown + 1)) 20 || { echo "error=no overlay"; stop_app; return 0; }
        sleep 0.3
        moves=()
        for step in $(seq 1 150); do
            x=$((600 + step * 16)); y=$((400 + step * 8))
            moves+=(mousemove "$x" "$y" sleep 0.008)
        done
        xdotool mousemove --sync 600 400
        sleep 0.2
        before=$(wc -l <"$out")
        xdotool mousedown 1 "${moves[@]}" mouseup 1
        sleep 0.3
        tail -n +"$((before + 1))" "$out" | sed -n 's/.*overlay\.paint ms=\([0-9.]*\) area=\([0-9]*\).*/\1 \2/p'
        xdotool key Escape
        sleep 0.3
    done
    stop_app
}

# inner stalls RUNS: "full=MS area=MS open=MS finish=MS" per round: the
# longest mainloop.stall from the shortcut to half a second after the
# capture completed; for the area capture also split at 0.2 s after the
# overlay showed.
inner_stalls() {
    local runs=$1 out="$DESKTOP_SESSION_DIR/app.log" done_count before full area open finish
    start_app "$out" TESSARIN_TRACE_STALLS=1 || { echo "error=not ready"; stop_app; return 0; }
    settle "$app_pid"
    # longest FROM [TO]: the longest stall logged in lines FROM+1 to TO (default: the end) of the log.
    longest() {
        sed -n "$(( $1 + 1 )),${2:-\$}p" "$out" | sed -n 's/.*mainloop\.stall ms=\([0-9.]*\).*/\1/p' | sort -g | tail -n 1
    }
    for _ in $(seq 1 "$runs"); do
        done_count=$(lines_with "$out" complete.thumbnail_schedule)
        before=$(wc -l <"$out")
        xdotool key shift+Print
        wait_lines "$out" complete.thumbnail_schedule $((done_count + 1)) 20 || { echo "error=full-screen capture did not complete"; break; }
        sleep 0.5
        full=$(longest "$before")

        done_count=$((done_count + 1))
        before=$(wc -l <"$out")
        local shown opened
        shown=$(lines_with "$out" overlay.shown)
        xdotool key Print
        wait_lines "$out" overlay.shown $((shown + 1)) 20 || { echo "error=no overlay"; break; }
        sleep 0.2
        opened=$(wc -l <"$out")
        xdotool mousemove --sync 400 300 mousedown 1 mousemove 550 400 mousemove --sync 700 500 mouseup 1
        xdotool key Return
        wait_lines "$out" complete.thumbnail_schedule $((done_count + 1)) 20 || { echo "error=area capture did not complete"; break; }
        sleep 0.5
        area=$(longest "$before")
        open=$(longest "$before" "$opened")
        finish=$(longest "$opened")
        echo "full=${full:-0} area=${area:-0} open=${open:-0} finish=${finish:-0}"
        sleep 0.3
    done
    stop_app
}

# inner flameshot-gui RUNS: ms from starting `flameshot gui` to a viewable
# window of flameshot's as large as the screen, one line per run.
inner_flameshot_gui() {
    local runs=$1 screen start window
    screen=$(xdpyinfo | sed -n 's/^ *dimensions: *\([0-9]*x[0-9]*\) pixels.*/\1/p')
    flameshot >"$DESKTOP_SESSION_DIR/flameshot.log" 2>&1 </dev/null &
    local tray=$!
    "$TRAY_ICONS" --wait 30 >/dev/null 2>&1 || { echo "error=flameshot's icon never docked"; kill "$tray"; return 0; }
    sleep 1
    fullscreen_window() {
        local id
        for id in $(xdotool search --onlyvisible --class flameshot 2>/dev/null); do
            xwininfo -id "$id" 2>/dev/null | grep -q "geometry ${screen}+0+0" && return 0
        done
        return 1
    }
    local gui end deadline
    for _ in $(seq 1 "$runs"); do
        start=$EPOCHREALTIME
        flameshot gui >/dev/null 2>&1 </dev/null &
        gui=$!
        window=0
        deadline=$(( ${start%.*} + 10 ))
        while [ "${EPOCHREALTIME%.*}" -lt "$deadline" ]; do
            if fullscreen_window; then window=1; break; fi
        done
        end=$EPOCHREALTIME
        [ "$window" -eq 1 ] && awk -v a="$start" -v b="$end" 'BEGIN { printf "%.1f\n", (b - a) * 1000 }'
        xdotool key Escape
        for _ in $(seq 1 100); do fullscreen_window || break; sleep 0.05; done
        kill "$gui" 2>/dev/null
        wait "$gui" 2>/dev/null
        sleep 0.3
        if ! kill -0 "$tray" 2>/dev/null; then
            flameshot >/dev/null 2>&1 </dev/null &
            tray=$!
            sleep 1
        fi
    done
    kill "$tray" 2>/dev/null
    wait "$tray" 2>/dev/null
}

if [ "${1:-}" = --inner ]; then
    mode=$2
    shift 2
    case "$mode" in
        layout) inner_layout "$@" ;;
        memory) inner_memory "$@" ;;
        drag) inner_drag "$@" ;;
        stalls) inner_stalls "$@" ;;
        flameshot-gui) inner_flameshot_gui "$@" ;;
        *) die "unknown inner mode $mode" ;;
    esac
    exit 0
fi

# ---------------------------------------------------------------- options

program="$repo/build/src/tessarin"
runs=15
display_args=()
build_dir="$repo/build"
while [ $# -gt 0 ]; do
    case "$1" in
        --program) program=$2; shift 2 ;;
        --runs) runs=$2; shift 2 ;;
        --display) display_args=(--display "$2"); shift 2 ;;
        --build-dir) build_dir=$2; shift 2 ;;
        *) die "usage: $0 [--program PATH] [--runs N] [--display N] [--build-dir DIR]" ;;
    esac
done
case "$runs" in ''|*[!0-9]*|0) die "--runs takes a positive whole number" ;; esac
case "$program" in /*) ;; *) program="$PWD/$program" ;; esac
[ -x "$program" ] || die "$program is not an executable (./scripts/build.sh)"
export PROGRAM="$program"
export TRAY_ICONS="$build_dir/tests/app/tray-icons"
KEY_LATENCY="$build_dir/bench/app/key-latency"
for tool in "$TRAY_ICONS" "$KEY_LATENCY"; do
    [ -x "$tool" ] || die "$tool missing: cmake --build $build_dir --target tray-icons key-latency"
done
for tool in xdotool xwininfo xrandr hyperfine flameshot; do
    command -v "$tool" >/dev/null || die "$tool missing: ./scripts/install-deps.sh --bench"
done

scratch=$(mktemp -d "${TMPDIR:-/tmp}/bench-flow.XXXXXX")
trap 'rm -rf "$scratch"' EXIT
trap 'exit 130' INT TERM

one_screen=1920x1080
two_screen=7680x2160
session() {  # session WxH CMD...
    local screen=$1
    shift
    "$session_script" "${display_args[@]}" --screen "$screen" -- "$@"
}
field() { echo "$2" | tr ' ' '\n' | sed -n "s/^$1=//p"; }
median() { sort -g | awk '{ v[NR] = $1 } END { if (NR == 0) exit 1; m = (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2; printf "%.1f", m }'; }
percentile() { sort -g | awk -v p="$1" '{ v[NR] = $1 } END { if (NR == 0) exit 1; i = int(NR * p / 100 + 0.999999); if (i < 1) i = 1; printf "%.2f", v[i] }'; }

# key_latency SCREEN LAYOUT KEY MATCH [AFTER]: "median (dispatched/runs)"
key_latency() {
    local screen=$1 layout=$2 key=$3 match=$4 after=${5:-} out
    local after_args=()
    [ -n "$after" ] && after_args=(--after-key "$after")
    out=$(session "$screen" "$self" --inner layout "$layout" -- "$KEY_LATENCY" --key "$key" --match "$match" \
        --runs "$runs" "${after_args[@]}" --gap-ms 300 -- env TESSARIN_LOG=stderr "$program" 2>"$scratch/latency.err")
    if [ -n "$(field median_ms "$out")" ]; then
        echo "$(field median_ms "$out") ($(field dispatched "$out")/$runs; $(field min_ms "$out")-$(field max_ms "$out"))"
    else
        echo "failed: $(tail -n 1 "$scratch/latency.err") $out"
    fi
}

# 1. shortcut released to the overlay on every display.
log "1. All-in-One shortcut to overlay shown, one 1920x1080 display"
shown_1080=$(key_latency "$one_screen" one "$all_in_one_key" "overlay.shown" Escape)
log "   $shown_1080"
log "1. All-in-One shortcut to overlay shown, two 3840x2160 displays"
shown_4k=$(key_latency "$two_screen" two "$all_in_one_key" "overlay.shown displays=2" Escape)
log "   $shown_4k"

# 2. drag repaints on one 3840x2160 display.
log "2. drag repaints at 3840x2160"
drag_runs=$(( runs < 5 ? runs : 5 ))
session 3840x2160 "$self" --inner drag "$drag_runs" >"$scratch/paints" 2>"$scratch/drag.err"
paint_count=$(grep -c '^[0-9]' "$scratch/paints")
if [ "$paint_count" -gt 0 ]; then
    paint_p95=$(awk '/^[0-9]/ { print $1 }' "$scratch/paints" | percentile 95)
    paint_median=$(awk '/^[0-9]/ { print $1 }' "$scratch/paints" | percentile 50)
    area_median=$(awk '/^[0-9]/ { print $2 }' "$scratch/paints" | median | xargs printf '%.0f')
    area_share=$(awk -v a="$area_median" 'BEGIN { printf "%.1f", 100 * a / (3840 * 2160) }')
    drag_cell="$paint_p95 (median $paint_median; $paint_count paints over $drag_runs drags)"
else
    drag_cell="failed: $(grep error= "$scratch/paints" | head -n 1) $(tail -n 1 "$scratch/drag.err")"
    area_median=-; area_share=-
fi
log "   $drag_cell"

# 3. memory.
memory_row() {  # memory_row SCREEN LAYOUT PIXEL_BYTES
    local result idle overlay closed delta freed ratio
    result=$(session "$1" "$self" --inner memory "$2" 2>"$scratch/memory.err")
    idle=$(field idle_kib "$result"); overlay=$(field overlay_kib "$result"); closed=$(field closed_kib "$result")
    if [ -z "$idle" ] || [ -z "$overlay" ] || [ -z "$closed" ]; then
        echo "| failed: $result $(tail -n 1 "$scratch/memory.err") | | | | | | |"
        return
    fi
    delta=$((overlay - idle)); freed=$((closed - idle))
    ratio=$(awk -v d="$delta" -v b="$3" 'BEGIN { printf "%.2f", d * 1024 / b }')
    # What stays loaded after the first overlay (fonts, cursors, Qt's menu
    # machinery, the writer's connection) is the same at any screen size:
    # "closed - idle". Over and above it, the frozen screens themselves.
    beyond=$(awk -v o="$overlay" -v c="$closed" -v b="$3" 'BEGIN { printf "%.2f", (o - c) * 1024 / b }')
    awk -v i="$idle" -v o="$overlay" -v c="$closed" -v d="$delta" -v f="$freed" -v b="$3" -v r="$ratio" -v e="$beyond" -v n="$(field displays "$result")" \
        'BEGIN { printf "| %.1f | %.1f (displays: %s) | %.1f | +%.1f | %.2f (frozen: %.1f MiB) | %.2f | %+.1f |\n", i/1024, o/1024, n, c/1024, d/1024, r, b/1048576, e, f/1024 }'
}
log "3. memory, 1920x1080"
memory_1080=$(memory_row "$one_screen" one $((1920 * 1080 * 4)))
log "   $memory_1080"
log "3. memory, two 3840x2160"
memory_4k=$(memory_row "$two_screen" two $((2 * 3840 * 2160 * 4)))
log "   $memory_4k"

# 4. full-screen shortcut to the thumbnail scheduled.
log "4. Shift+Print to thumbnail scheduled, 1920x1080"
thumbnail_1080=$(key_latency "$one_screen" one Shift+Print "complete.thumbnail_schedule")
log "   $thumbnail_1080"

# 5. main-thread stalls per capture.
log "5. main-thread stalls"
stall_runs=$(( runs < 10 ? runs : 10 ))
session "$one_screen" "$self" --inner stalls "$stall_runs" >"$scratch/stalls" 2>"$scratch/stalls.err"
stall_cell() {  # stall_cell full|area
    local values
    values=$(sed -n "s/.*$1=\([0-9.]*\).*/\1/p" "$scratch/stalls")
    if [ -z "$values" ]; then echo "failed: $(grep error= "$scratch/stalls" | head -n 1)"; return; fi
    echo "$(echo "$values" | median) (worst $(echo "$values" | sort -g | tail -n 1 | xargs printf '%.1f'); $(echo "$values" | wc -l) captures)"
}
stall_full=$(stall_cell full); stall_area=$(stall_cell area)
stall_open=$(stall_cell open); stall_finish=$(stall_cell finish)
log "   full: $stall_full; area: $stall_area"

# 6. flameshot on the same server.
log "6. flameshot gui to its overlay, 1920x1080"
session "$one_screen" "$self" --inner flameshot-gui "$runs" >"$scratch/flameshot-gui" 2>"$scratch/flameshot.err"
if grep -q '^[0-9]' "$scratch/flameshot-gui"; then
    flameshot_gui="$(grep '^[0-9]' "$scratch/flameshot-gui" | median) ($(grep -c '^[0-9]' "$scratch/flameshot-gui")/$runs)"
else
    flameshot_gui="failed: $(head -n 1 "$scratch/flameshot-gui")"
fi
log "   $flameshot_gui"
log "6. flameshot full against tessarin capture-full, 1920x1080"
full_cell_tessarin=failed; full_cell_flameshot=failed
if session "$one_screen" hyperfine -N --warmup 2 --runs "$runs" --style none --export-json "$scratch/full.json" \
    "$program capture-full --out $scratch/tessarin.png" "flameshot full --path $scratch/flameshot.png" \
    >/dev/null 2>"$scratch/hyperfine.err"; then
    read -r full_cell_tessarin full_cell_flameshot < <(python3 -c '
import json, sys
print(" ".join("%.1f" % (r["median"] * 1000) for r in json.load(open(sys.argv[1]))["results"]))' "$scratch/full.json")
else
    log "   hyperfine: $(tail -n 2 "$scratch/hyperfine.err" | tr '\n' ' ')"
fi
log "   tessarin $full_cell_tessarin, flameshot $full_cell_flameshot"

# ---------------------------------------------------------------- the table

echo
echo "Capture flow on $(uname -m), $(nproc) cores, Xvfb; flameshot $(flameshot --version 2>/dev/null | head -n 1 | sed 's/^Flameshot //'); $runs runs"
echo
echo "| figure | tessarin | target | peer |"
echo "|---|---|---|---|"
echo "| All-in-One shortcut released to overlay shown, 1920x1080, ms (median; min-max) | $shown_1080 | 80 | flameshot gui started to its overlay: $flameshot_gui |"
echo "| All-in-One shortcut released to overlay shown, two 3840x2160, ms (median; min-max) | $shown_4k | 200 | |"
echo "| drag repaint at 3840x2160, paintEvent ms, p95 | $drag_cell | < 6 | median area repainted: $area_median px ($area_share% of the screen) |"
echo "| Shift+Print released to thumbnail scheduled, 1920x1080, ms (median; min-max) | $thumbnail_1080 | 150 | |"
echo "| longest main-thread stall, full-screen capture, ms (median over captures) | $stall_full | < 4 | |"
echo "| longest main-thread stall, area capture (overlay, drag, Return), ms (median over captures) | $stall_area | < 4 | of which opening the overlay (Print to 0.2 s after shown): $stall_open; drag, Return and completion: $stall_finish |"
echo "| full screen to a PNG file, 1920x1080, ms (hyperfine median) | \`tessarin capture-full\`: $full_cell_tessarin | | \`flameshot full --path\`: $full_cell_flameshot |"
echo
echo "Memory (RSS of the application, MiB; overlay sampled once settled, closed 1 s after Escape):"
echo
echo "| screen | idle | overlay up | closed | overlay - idle | ratio to frozen pixel bytes (target <= 1.1) | (overlay - closed) to frozen pixel bytes | closed - idle (loaded once, any size) |"
echo "|---|---|---|---|---|---|---|---|"
echo "| 1920x1080 $memory_1080"
echo "| two 3840x2160 $memory_4k"
