#!/usr/bin/env bash
# The desktop application's start, idle cost and shortcut latency against
# flameshot's tray application, each measurement in a fresh private desktop
# (tests/support/desktop-session.sh). See bench/app/README.md.
#
#   bench/app/run.sh [--program build/src/tessarin] [--baseline OLD_TESSARIN | --baseline-commit SHA]
#                    [--idle-seconds 60] [--runs 5] [--key-runs 20] [--display N] [--build-dir build]
set -u

repo=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
self="$repo/bench/app/run.sh"
session_script="$repo/tests/support/desktop-session.sh"
dock_timeout=30
skip_reason="tessarin desktop application not found/not running"

die() { echo "bench/app: $*" >&2; exit 2; }

# ---------------------------------------------------------------- helpers run inside a session

# Every pid of the process tree under $1 (itself included).
tree_pids() {
    local queue=("$1") pid stat rest parent
    declare -A children=()
    for stat in /proc/[0-9]*/stat; do
        rest=$(cat "$stat" 2>/dev/null) || continue
        pid=${rest%% *}
        rest=${rest##*) }
        read -r _ parent _ <<<"$rest"
        children[$parent]+=" $pid"
    done
    while [ ${#queue[@]} -gt 0 ]; do
        pid=${queue[0]}; queue=("${queue[@]:1}")
        [ -d "/proc/$pid" ] || continue
        echo "$pid"
        # shellcheck disable=SC2206
        queue+=(${children[$pid]:-})
    done
}

# utime+stime in clock ticks of the tree under $1.
tree_ticks() {
    local total=0 pid rest fields
    for pid in $(tree_pids "$1"); do
        rest=$(cat "/proc/$pid/stat" 2>/dev/null) || continue
        rest=${rest##*) }
        read -r -a fields <<<"$rest"
        total=$((total + fields[11] + fields[12]))
    done
    echo "$total"
}

# VmRSS in KiB of the tree under $1.
tree_rss_kib() {
    local total=0 pid kib
    for pid in $(tree_pids "$1"); do
        kib=$(sed -n 's/^VmRSS:[[:space:]]*\([0-9]*\) kB$/\1/p' "/proc/$pid/status" 2>/dev/null)
        total=$((total + ${kib:-0}))
    done
    echo "$total"
}

stop_program() {
    kill -TERM "$1" 2>/dev/null
    for _ in $(seq 1 100); do kill -0 "$1" 2>/dev/null || break; sleep 0.05; done
    kill -KILL "$1" 2>/dev/null
    wait "$1" 2>/dev/null
}

# inner dock-time CMD...: "ms=N" once the program's icon docked.
inner_dock_time() {
    local start pid docked
    start=$EPOCHREALTIME
    "$@" >"$DESKTOP_SESSION_DIR/program.log" 2>&1 </dev/null &
    pid=$!
    docked=$("$TRAY_ICONS" --wait "$dock_timeout" --since "$start" 2>&1)
    if ! kill -0 "$pid" 2>/dev/null; then
        wait "$pid"
        echo "error=exited with status $? before docking: $(head -c 200 "$DESKTOP_SESSION_DIR/program.log" | tr '\n' ' ')"
        return 0
    fi
    stop_program "$pid"
    case "$docked" in
        "docked "*) echo "ms=$(echo "$docked" | sed -n 's/.* after \([0-9.]*\) ms$/\1/p')" ;;
        *) echo "error=no icon docked within $dock_timeout s" ;;
    esac
}

# inner idle SECONDS CMD...: "rss_kib=N cpu_ms=N settle_s=N" after docking
# and settling (no CPU used for a whole second, at most 20 s).
inner_idle() {
    local seconds=$1 pid ticks previous quiet=0 waited=0 before after hz rss
    shift
    "$@" >"$DESKTOP_SESSION_DIR/program.log" 2>&1 </dev/null &
    pid=$!
    if ! "$TRAY_ICONS" --wait "$dock_timeout" >/dev/null 2>&1 || ! kill -0 "$pid" 2>/dev/null; then
        stop_program "$pid"
        echo "error=no icon docked within $dock_timeout s"
        return 0
    fi
    previous=$(tree_ticks "$pid")
    while [ "$quiet" -lt 2 ] && [ "$waited" -lt 40 ]; do
        sleep 0.5
        waited=$((waited + 1))
        ticks=$(tree_ticks "$pid")
        if [ "$ticks" -eq "$previous" ]; then quiet=$((quiet + 1)); else quiet=0; fi
        previous=$ticks
    done
    rss=$(tree_rss_kib "$pid")
    hz=$(getconf CLK_TCK)
    before=$(tree_ticks "$pid")
    sleep "$seconds"
    after=$(tree_ticks "$pid")
    stop_program "$pid"
    echo "rss_kib=$rss cpu_ms=$(( (after - before) * 1000 / hz )) settle_s=$(awk -v w="$waited" 'BEGIN { printf "%.1f", w / 2 }')"
}

if [ "${1:-}" = --inner ]; then
    mode=$2
    shift 2
    # A fresh session would open Tessarin's first-run guide over the measurement.
    prefs="${XDG_CONFIG_HOME:?}/io.tessarin.Tessarin/preferences.json"
    mkdir -p "$(dirname "$prefs")"
    [ -e "$prefs" ] || echo '{"onboardingCompletedV1": true}' >"$prefs"
    case "$mode" in
        dock-time) inner_dock_time "$@" ;;
        idle) inner_idle "$@" ;;
        *) die "unknown inner mode $mode" ;;
    esac
    exit 0
fi

# ---------------------------------------------------------------- options

program="$repo/build/src/tessarin"
baseline=
baseline_commit=
idle_seconds=60
runs=5
key_runs=20
display_args=()
build_dir="$repo/build"
while [ $# -gt 0 ]; do
    case "$1" in
        --program) program=$2; shift 2 ;;
        --baseline) baseline=$2; shift 2 ;;
        --baseline-commit) baseline_commit=$2; shift 2 ;;
        --idle-seconds) idle_seconds=$2; shift 2 ;;
        --runs) runs=$2; shift 2 ;;
        --key-runs) key_runs=$2; shift 2 ;;
        --display) display_args=(--display "$2"); shift 2 ;;
        --build-dir) build_dir=$2; shift 2 ;;
        *) die "usage: $0 [--program PATH] [--baseline PATH | --baseline-commit SHA] [--idle-seconds N] [--runs N] [--key-runs N] [--display N] [--build-dir DIR]" ;;
    esac
done
for number in "$idle_seconds" "$runs" "$key_runs"; do
    case "$number" in ''|*[!0-9]*|0) die "--idle-seconds, --runs and --key-runs take positive whole numbers" ;; esac
done
[ -z "$baseline" ] || [ -z "$baseline_commit" ] || die "give --baseline or --baseline-commit, not both"

export TRAY_ICONS="$build_dir/tests/app/tray-icons"
export HOLD_KEY="$build_dir/tests/app/hold-key"
KEY_LATENCY="$build_dir/bench/app/key-latency"
for tool in "$TRAY_ICONS" "$HOLD_KEY" "$KEY_LATENCY"; do
    [ -x "$tool" ] || die "$tool missing: cmake --build $build_dir --target tray-icons hold-key key-latency"
done
command -v hyperfine >/dev/null || die "hyperfine missing: ./scripts/install-deps.sh --bench"
case "$program" in /*) ;; *) program="$PWD/$program" ;; esac

scratch=$(mktemp -d "${TMPDIR:-/tmp}/bench-app.XXXXXX")
baseline_tree=
cleanup() {
    if [ -n "$baseline_tree" ]; then
        git -C "$repo" worktree remove --force "$baseline_tree" >/dev/null 2>&1
    fi
    rm -rf "$scratch"
}
trap cleanup EXIT
trap 'exit 130' INT TERM

session() { "$session_script" "${display_args[@]}" -- "$@"; }
log() { echo "bench/app: $*" >&2; }

median() { sort -n | awk '{ v[NR] = $1 } END { if (NR == 0) exit 1; m = (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2; printf "%.1f", m }'; }
field() { echo "$2" | tr ' ' '\n' | sed -n "s/^$1=//p"; }

# ---------------------------------------------------------------- baseline build

if [ -n "$baseline_commit" ]; then
    baseline_tree="$scratch/baseline"
    log "building the baseline at $baseline_commit in $baseline_tree"
    git -C "$repo" worktree add --detach "$baseline_tree" "$baseline_commit" >/dev/null 2>&1 \
        || die "cannot check out $baseline_commit"
    (
        cd "$baseline_tree" || exit 1
        export CCACHE_BASEDIR="$baseline_tree" CCACHE_NOHASHDIR=1
        cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DBUILD_TESTING=OFF \
            -DCMAKE_C_COMPILER_LAUNCHER=ccache -DCMAKE_CXX_COMPILER_LAUNCHER=ccache >/dev/null \
            && cmake --build build --target tessarin --parallel 2 >"$scratch/baseline-build.log" 2>&1
    ) || { tail -n 20 "$scratch/baseline-build.log" >&2; die "the baseline at $baseline_commit did not build"; }
    baseline="$baseline_tree/build/src/tessarin"
fi
[ -z "$baseline" ] || [ -x "$baseline" ] || die "baseline $baseline is not an executable"

# ---------------------------------------------------------------- what can be measured

tessarin_app=1
tessarin_note=
if [ ! -x "$program" ]; then
    tessarin_app=0
    tessarin_note="$skip_reason ($program does not exist)"
else
    probe=$(session "$self" --inner dock-time "$program")
    if [ -z "$(field ms "$probe")" ]; then
        tessarin_app=0
        tessarin_note="$skip_reason (${probe#error=})"
    fi
fi
[ "$tessarin_app" -eq 1 ] || log "skipped for tessarin: $tessarin_note"
flameshot_ok=1
command -v flameshot >/dev/null || { flameshot_ok=0; log "flameshot not installed: ./scripts/install-deps.sh --bench"; }

peers=()
[ "$tessarin_app" -eq 1 ] && peers+=(tessarin)
[ "$flameshot_ok" -eq 1 ] && peers+=(flameshot)
command_of() { case "$1" in tessarin) echo "$program" ;; flameshot) echo flameshot ;; esac; }

declare -A cold=() rss=() cpu=() errors=()

# 1. cold start to docked icon: the peers take turns, run by run.
for run in $(seq 1 "$runs"); do
    for peer in "${peers[@]}"; do
        result=$(session "$self" --inner dock-time "$(command_of "$peer")")
        ms=$(field ms "$result")
        if [ -n "$ms" ]; then
            echo "$ms" >> "$scratch/cold-$peer"
            log "cold start $run/$runs $peer: $ms ms"
        else
            errors[$peer]="${result#error=}"
            log "cold start $run/$runs $peer: ${result#error=}"
        fi
    done
done
for peer in "${peers[@]}"; do
    cold[$peer]=$(median < "$scratch/cold-$peer" 2>/dev/null) || cold[$peer]="failed"
done

# 2 and 3. idle memory and CPU.
for peer in "${peers[@]}"; do
    log "idle $peer for $idle_seconds s"
    result=$(session "$self" --inner idle "$idle_seconds" "$(command_of "$peer")")
    if [ -n "$(field rss_kib "$result")" ]; then
        rss[$peer]=$(awk -v k="$(field rss_kib "$result")" 'BEGIN { printf "%.1f", k / 1024 }')
        cpu[$peer]=$(field cpu_ms "$result")
        log "idle $peer: $result"
    else
        rss[$peer]=failed; cpu[$peer]=failed
        log "idle $peer: ${result#error=}"
    fi
done

# 4. shortcut latency: tessarin, and a plain xcb client holding the same
# key as the floor (what the X server and a pipe cost).
latency() {
    local out
    out=$(session "$KEY_LATENCY" --key Print --runs "$key_runs" "$@" 2>"$scratch/latency.err")
    if [ -n "$(field median_ms "$out")" ]; then
        echo "$(field median_ms "$out") ($(field dispatched "$out")/$key_runs dispatched)"
    else
        echo "failed: $(tail -n 1 "$scratch/latency.err")"
    fi
}
floor_latency=$(latency --match "key.release key=Print" -- "$HOLD_KEY" --report Print)
log "key latency, plain xcb client: $floor_latency"
tessarin_latency=
if [ "$tessarin_app" -eq 1 ]; then
    tessarin_latency=$(latency --match "action.dispatch action=captureArea" --after-key Escape \
        -- env TESSARIN_LOG=stderr "$program")
    log "key latency, tessarin: $tessarin_latency"
fi

# 5. agent start.
agent_now=; agent_base=; agent_note=
if [ ! -x "$program" ]; then
    agent_note="tessarin not found at $program"
elif ! "$program" version >/dev/null 2>&1; then
    agent_note="'$program version' failed"
else
    commands=("$program version")
    [ -n "$baseline" ] && commands+=("$baseline version")
    if session hyperfine -N --warmup 5 --style none --export-json "$scratch/agent.json" "${commands[@]}" >/dev/null 2>"$scratch/hyperfine.err"; then
        read -r agent_now agent_base < <(python3 -c '
import json, sys
results = json.load(open(sys.argv[1]))["results"]
print(" ".join("%.2f" % (r["median"] * 1000) for r in results))' "$scratch/agent.json")
    else
        agent_note="hyperfine failed: $(tail -n 1 "$scratch/hyperfine.err")"
    fi
    [ -n "$baseline" ] || agent_note="no --baseline or --baseline-commit given: baseline skipped"
fi

# ---------------------------------------------------------------- the table

cell() {  # cell PEER VALUE
    if [ "$1" = tessarin ] && [ "$tessarin_app" -eq 0 ]; then echo "skipped (1)"; return; fi
    if [ "$1" = flameshot ] && [ "$flameshot_ok" -eq 0 ]; then echo "not installed"; return; fi
    echo "${2:-failed}"
}
ratio() {  # ratio TESSARIN FLAMESHOT
    awk -v a="$1" -v b="$2" 'BEGIN { if (a + 0 > 0 && b + 0 > 0) printf "%.2fx", a / b; else printf "-" }'
}

echo
echo "Desktop application on $(uname -m), $(nproc) cores; flameshot $(flameshot --version 2>/dev/null | head -n 1 | sed 's/^Flameshot //')"
echo
echo "| figure | tessarin | flameshot | tessarin / flameshot | reference |"
echo "|---|---|---|---|---|"
echo "| cold start to tray icon docked, ms (median of $runs) | $(cell tessarin "${cold[tessarin]:-}") | $(cell flameshot "${cold[flameshot]:-}") | $(ratio "${cold[tessarin]:-}" "${cold[flameshot]:-}") | |"
echo "| idle RSS after settling, MiB | $(cell tessarin "${rss[tessarin]:-}") | $(cell flameshot "${rss[flameshot]:-}") | $(ratio "${rss[tessarin]:-}" "${rss[flameshot]:-}") | |"
echo "| idle CPU over $idle_seconds s, ms | $(cell tessarin "${cpu[tessarin]:-}") | $(cell flameshot "${cpu[flameshot]:-}") | $(ratio "${cpu[tessarin]:-}" "${cpu[flameshot]:-}") | |"
echo "| Print released to action.dispatch line, ms (median of $key_runs) | $(cell tessarin "$tessarin_latency") | n/a (no global shortcut of its own on X11) | | plain xcb client holding Print: $floor_latency |"
if [ -n "$agent_now" ]; then
    echo "| agent start, \`tessarin version\`, ms (hyperfine median) | $agent_now | n/a | | baseline: ${agent_base:-skipped} |"
else
    echo "| agent start, \`tessarin version\`, ms (hyperfine median) | skipped | n/a | | |"
fi
echo
[ "$tessarin_app" -eq 1 ] || echo "(1) $tessarin_note"
for peer in "${!errors[@]}"; do echo "$peer: ${errors[$peer]}"; done
[ -z "$agent_note" ] || echo "agent start: $agent_note"
[ -z "$baseline_commit" ] || echo "baseline: $baseline_commit built in a temporary worktree"
