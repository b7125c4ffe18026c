#!/usr/bin/env bash
# Pinned screenshots of the desktop application, each figure from a fresh
# private desktop (tests/support/desktop-session.sh):
#   - launch with 10 pinned 3840x2160 images until all 10 windows are on the
#     screen, against ImageMagick's display(1) opening the same 10 files;
#   - index writes for one pin dragged by the window manager (30 moves);
#   - memory of an open 4K pin against its pixel bytes.
#
#   bench/pins/run.sh [--program build/src/tessarin] [--runs 5] [--display N]
set -u

repo=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
self="$repo/bench/pins/run.sh"
session_script="$repo/tests/support/desktop-session.sh"

die() { echo "bench/pins: $*" >&2; exit 2; }

now_ms() { echo "${EPOCHREALTIME/./}" | awk '{ printf "%.1f", $1 / 1000 }'; }
rss_kib() { sed -n 's/^VmRSS:[[:space:]]*\([0-9]*\) kB$/\1/p' "/proc/$1/status" 2>/dev/null; }
visible() { xdotool search --onlyvisible --name "$1" 2>/dev/null | wc -l; }

# wait_until COMMAND TIMEOUT_S: polls every 5 ms.
wait_until() {
    local deadline=$(( $(date +%s) + $2 ))
    until eval "$1" >/dev/null 2>&1; do
        [ "$(date +%s)" -lt "$deadline" ] || return 1
        sleep 0.005
    done
}

median() { sort -n | awk '{ v[NR] = $1 } END { if (NR == 0) print "n/a"; else print v[int((NR + 1) / 2)] }'; }

# ------------------------------------------------------------ inside a session

pins_folder() { echo "$XDG_DATA_HOME/io.tessarin.Tessarin/Pins"; }

# make_pins COUNT: COUNT pins of one 3840x2160 image (an 8-bit fractal
# plasma: about 8 MB of PNG, in the range of a busy 4K screenshot), each
# with the 1280x800 JPEG preview the application writes beside it.
make_pins() {
    local count=$1 folder entries="" i id
    folder=$(pins_folder)
    rm -rf "$folder"
    mkdir -p "$folder/images" "$folder/previews"
    [ -f "$cache/4k.png" ] || convert -size 3840x2160 -depth 8 plasma:fractal -blur 0x1 \
        -define png:compression-level=6 "$cache/4k.png"
    # The preview the application writes beside each pin's image.
    [ -f "$cache/preview.jpg" ] || convert "$cache/4k.png" -resize 1280x800 -quality 70 "$cache/preview.jpg"
    for i in $(seq 1 "$count"); do
        id=$(printf '5E1F0A2B-0000-4000-8000-%012d' "$i")
        cp "$cache/4k.png" "$folder/images/$id.png"
        cp "$cache/preview.jpg" "$folder/previews/$id.jpg"
        entries+="${entries:+,}{\"id\":\"$id\",\"x\":$(( 40 * i )),\"y\":$(( 30 * i )),\"width\":1190.4,\"height\":669.6,\"screenID\":0}"
    done
    echo "{\"pins\":[$entries],\"recentlyClosed\":[]}" >"$folder/index.json"
}

start_app() {
    TESSARIN_LOG=stderr TESSARIN_TRACE_STALLS=${TRACE_STALLS:-0} "$program" >"$work/app.log" 2>&1 &
    app_pid=$!
}
stop_app() {
    kill -TERM "$app_pid" 2>/dev/null
    wait "$app_pid" 2>/dev/null
}

inside_launch() {
    make_pins 10
    local start end
    start=$(now_ms)
    start_app
    wait_until "grep -q app.ready '$work/app.log'" 30
    local ready
    ready=$(now_ms)
    wait_until '[ "$(visible "^Tessarin Pin ")" -ge 10 ]' 30 || { echo "launch n/a"; stop_app; return; }
    end=$(now_ms)
    wait_until "grep -q 'pins.restored stored=10' '$work/app.log'" 60
    local restored
    restored=$(sed -n 's/.*pins.restored stored=10 shown=10 duration_ms=\([0-9]*\).*/\1/p' "$work/app.log")
    sleep 1
    local rss10
    rss10=$(rss_kib "$app_pid")
    [ "${TRACE_STALLS:-0}" = 1 ] && grep -E "mainloop.stall|pins.restored|pin.shown|app.ready" "$work/app.log" >&2
    stop_app
    echo "launch $(awk -v a="$start" -v b="$end" 'BEGIN { printf "%.0f", b - a }') ${restored:-n/a} $rss10 $(awk -v a="$ready" -v b="$end" 'BEGIN { printf "%.0f", b - a }')"
}

inside_empty_rss() {
    rm -rf "$(pins_folder)"
    start_app
    wait_until "grep -q app.ready '$work/app.log'" 30
    sleep 1
    echo "empty $(rss_kib "$app_pid")"
    stop_app
}

inside_one_rss() {
    make_pins 1
    start_app
    wait_until '[ "$(visible "^Tessarin Pin ")" -ge 1 ]' 30
    wait_until "grep -q 'pins.restored stored=1' '$work/app.log'" 60
    sleep 1
    local window size
    window=$(xdotool search --onlyvisible --name "^Tessarin Pin " | head -n 1)
    size=$(xwininfo -id "$window" | awk '/Width:/{w=$2} /Height:/{h=$2} END{print w * h * 4}')
    echo "one $(rss_kib "$app_pid") $size"
    # One drag by the window manager: press on the image, 30 moves, release.
    local x y
    read -r x y <<<"$(xwininfo -id "$window" | awk '/Absolute upper-left X:/{x=$4} /Absolute upper-left Y:/{y=$4} END{print x + 300, y + 300}')"
    local before
    before=$(grep -c "pins.index_write" "$work/app.log")
    xdotool mousemove --sync "$x" "$y" mousedown 1
    for step in $(seq 1 30); do xdotool mousemove --sync $(( x + 8 * step )) $(( y + 3 * step )); done
    xdotool mouseup 1
    sleep 1.5  # the store's pause is 0.4 s; let any late write land
    local moved
    moved=$(xwininfo -id "$window" | awk '/Absolute upper-left X:/{print $4}')
    echo "drag $(( $(grep -c "pins.index_write" "$work/app.log") - before )) $moved"
    stop_app
}

inside_peer() {
    make_pins 10
    local start end i=0
    start=$(now_ms)
    for image in "$(pins_folder)"/images/*.png; do
        display -title "peer-$i" -geometry +0+0 -resize 1190x670 "$image" &
        peer_pids+=($!)
        i=$((i + 1))
    done
    wait_until '[ "$(visible "^peer-")" -ge 10 ]' 60 || { echo "peer n/a"; return; }
    end=$(now_ms)
    for pid in "${peer_pids[@]}"; do kill "$pid" 2>/dev/null; done
    wait 2>/dev/null
    echo "peer $(awk -v a="$start" -v b="$end" 'BEGIN { printf "%.0f", b - a }')"
}

inside() {
    work=$(mktemp -d)
    peer_pids=()
    xsetroot -solid '#2e4a62'
    "inside_$1"
    rm -rf "$work"
}

if [ "${1:-}" = "--inside" ]; then
    program=$2
    cache=$3
    i=0
    inside "$4"
    exit 0
fi

# ------------------------------------------------------------ the driver

program="$repo/build/src/tessarin"
runs=5
display=205
while [ $# -gt 0 ]; do
    case $1 in
        --program) program=$2; shift 2 ;;
        --runs) runs=$2; shift 2 ;;
        --display) display=$2; shift 2 ;;
        *) die "unknown argument $1" ;;
    esac
done
[ -x "$program" ] || die "no program at $program (build it first)"
command -v display >/dev/null || die "ImageMagick's display is needed (scripts/install-deps.sh --bench)"
cache=$(mktemp -d)
trap 'rm -rf "$cache"' EXIT

in_session() { "$session_script" --display "$display" -- "$self" --inside "$program" "$cache" "$1" 2>/dev/null; }

launch=() restored=() peer=() rss10=() after_ready=()
for run in $(seq 1 "$runs"); do
    read -r _ wall inner rss ready <<<"$(in_session launch | grep '^launch')"
    launch+=("$wall"); restored+=("$inner"); rss10+=("$rss"); after_ready+=("$ready")
    read -r _ p <<<"$(in_session peer | grep '^peer')"
    peer+=("$p")
done
read -r _ empty <<<"$(in_session empty_rss | grep '^empty')"
one_output=$(in_session one_rss)
read -r _ one backing <<<"$(grep '^one' <<<"$one_output")"
read -r _ writes moved_to <<<"$(grep '^drag' <<<"$one_output")"

pixel_bytes=$(( 3840 * 2160 * 4 ))
launch_median=$(printf '%s\n' "${launch[@]}" | median)
restored_median=$(printf '%s\n' "${restored[@]}" | median)
peer_median=$(printf '%s\n' "${peer[@]}" | median)
rss10_median=$(printf '%s\n' "${rss10[@]}" | median)
after_ready_median=$(printf '%s\n' "${after_ready[@]}" | median)

echo
echo "Pins, $runs runs, medians (machine: $(nproc) cores, load average $(cut -d' ' -f1-3 /proc/loadavg))"
echo
echo "| figure | tessarin | peer | target |"
echo "|---|---|---|---|"
echo "| launch to 10 pinned 3840x2160 images shown (ms) | $launch_median | display(1), 10 files: $peer_median | 300 |"
echo "| of which after the application was ready (ms) | $after_ready_median | | |"
echo "| until all 10 full images replaced their previews (ms, from the restore's start) | $restored_median | | |"
echo "| index writes for one drag of 30 moves | ${writes:-n/a} (window moved to x=${moved_to:-?}) | without the pause: one per move | 1 |"
awk -v e="$empty" -v o="$one" -v p="$pixel_bytes" -v b="$backing" -v t="$rss10_median" 'BEGIN {
    one = (o - e) * 1024; ten = (t - e) * 1024 / 10
    printf "| memory of one open 4K pin (RSS over an idle app) | %.1f MiB = %.2fx pixel bytes | pixels %.1f MiB; one copy at the window size %.1f MiB | 1.2x |\n", one / 1048576, one / p, p / 1048576, b / 1048576
    printf "| memory per pin with 10 open | %.1f MiB = %.2fx pixel bytes | | 1.2x |\n", ten / 1048576, ten / p
}'
