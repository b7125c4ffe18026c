#!/usr/bin/env bash
# Quick Access: from the finished image handed to the thumbnails to the
# thumbnail's first paint ("quick_access.shown duration_ms=", logged by the
# window itself), for full-screen captures of a 1920x1080 and a 3840x2160
# screen. Each screen size runs in a fresh private desktop
# (tests/support/desktop-session.sh); the captures come from the
# full-screen shortcut, one after another, so the column fills, evicts and
# is restacked as in use. Target: 30 ms.
#
#   bench/pins/quick-access.sh [--program build/src/tessarin] [--runs 20] [--display N]
set -u

repo=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
self="$repo/bench/pins/quick-access.sh"
session_script="$repo/tests/support/desktop-session.sh"

die() { echo "bench/pins/quick-access: $*" >&2; exit 2; }

# ------------------------------------------------------------ inside a session

lines_with() { grep -cF -- "$2" "$1" 2>/dev/null || true; }

wait_lines() {
    local deadline=$(( $(date +%s) + ${4:-15} ))
    while [ "$(lines_with "$1" "$2")" -lt "$3" ]; do
        [ "$(date +%s)" -lt "$deadline" ] || return 1
        sleep 0.02
    done
}

inside() {
    local program=$1 runs=$2 out=$3 log
    log=$(mktemp)
    xsetroot -solid '#2e4a62'
    xlogo -geometry 600x400+200+200 >/dev/null 2>&1 &
    local logo=$!
    TESSARIN_LOG=stderr "$program" >"$log" 2>&1 &
    local app=$!
    wait_lines "$log" app.ready 1 || { kill "$app" "$logo"; die "the application never became ready"; }
    for ((n = 1; n <= runs; n++)); do
        xdotool key shift+Print
        wait_lines "$log" "quick_access.shown" "$n" || { kill "$app" "$logo"; die "capture $n showed no thumbnail"; }
    done
    sed -n 's/.*quick_access\.shown id=[0-9]* duration_ms=\([0-9.]*\).*/\1/p' "$log" >"$out"
    kill -TERM "$app"
    wait "$app"
    kill "$logo" 2>/dev/null
    rm -f "$log"
}

if [ "${1:-}" = --inside ]; then
    shift
    inside "$@"
    exit $?
fi

# ------------------------------------------------------------ driver

program="$repo/build/src/tessarin"
runs=20
display=()
while [ $# -gt 0 ]; do
    case $1 in
        --program) program=$2; shift 2 ;;
        --runs) runs=$2; shift 2 ;;
        --display) display=(--display "$2"); shift 2 ;;
        *) die "unknown argument $1" ;;
    esac
done
[ -x "$program" ] || die "no program at $program (build first)"

# stats FILE: median, 90th percentile and largest of the numbers in FILE.
stats() {
    sort -n "$1" | awk '{ v[NR] = $1 } END {
        if (NR == 0) { print "-\t-\t-"; exit }
        m = (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2
        p = v[int(NR * 0.9 + 0.999)]
        printf "%.1f\t%.1f\t%.1f\n", m, p, v[NR] }'
}

printf "Image ready to thumbnail shown (ms, %d full-screen captures each; target 30)\n" "$runs"
printf "screen\tmedian\tp90\tmax\n"
for screen in 1920x1080 3840x2160; do
    out=$(mktemp)
    "$session_script" "${display[@]}" --screen "$screen" -- "$self" --inside "$program" "$runs" "$out" >/dev/null 2>&1 ||
        die "the session for $screen failed"
    printf "%s\t%s\n" "$screen" "$(stats "$out")"
    rm -f "$out"
done
