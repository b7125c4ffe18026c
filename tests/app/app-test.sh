# shellcheck shell=bash
# What the application's test scripts share (source it first): the helpers
# of lib.sh, a scratch folder and the processes a case starts, both removed
# at exit, and the way a case fails and starts the application.
set -euo pipefail
_app_test_dir=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
# shellcheck source=lib.sh
. "$_app_test_dir/lib.sh"

: "${TESSARIN:?TESSARIN must name the program}"
export TESSARIN_LOG=stderr
work=$(mktemp -d)
pids=()
cleanup() {
    for pid in "${pids[@]}"; do kill -KILL "$pid" 2>/dev/null || true; done
    rm -rf "$work"
}
trap cleanup EXIT

# fail MESSAGE: says why, with the end of every log of the case.
fail() {
    echo "FAIL: $*" >&2
    for log in "$work"/*.log; do
        [ -e "$log" ] || continue
        echo "--- $log" >&2
        tail -n 40 "$log" >&2
    done
    exit 1
}

# The first-run guide would open over every case: a case starts with it
# finished, added to the preferences the case wrote, unless it sets
# keep_guide=1 to test the guide.
preferences_file() { echo "${XDG_CONFIG_HOME:?}/io.tessarin.Tessarin/preferences.json"; }
preferences="${XDG_CONFIG_HOME:-$work/config}/io.tessarin.Tessarin/preferences.json"

# prefer JSON: the preferences the application starts with.
prefer() {
    mkdir -p "$(dirname "$preferences")"
    echo "$1" >"$preferences"
}

keep_guide=0
seed_guide_finished() {
    [ "$keep_guide" = 1 ] && return 0
    local file
    file=$(preferences_file)
    mkdir -p "$(dirname "$file")"
    python3 - "$file" <<'PY'
import json, os, sys
path = sys.argv[1]
values = {}
if os.path.exists(path):
    try:
        with open(path) as f:
            values = json.load(f)
    except ValueError:
        sys.exit(0)  # a case testing a damaged file gets it as it wrote it
if not isinstance(values, dict):
    sys.exit(0)
values.setdefault("onboardingCompletedV1", True)
with open(path, "w") as f:
    json.dump(values, f)
PY
}

# launch NAME [args...]: starts the application, logging to $work/NAME.log,
# and waits until it is ready; sets app_pid.
launch() {
    local name=$1
    shift
    seed_guide_finished
    "$TESSARIN" "$@" >"$work/$name.log" 2>&1 &
    app_pid=$!
    pids+=("$app_pid")
    wait_for "grep -q app.ready '$work/$name.log'" 15 || fail "$name never became ready"
}

# start_over_xlogo GEOMETRY [NAME]: a plain background with an xlogo window
# at GEOMETRY, then the application launched as NAME (app).
start_over_xlogo() {
    xsetroot -solid '#2e4a62'
    xlogo -geometry "$1" >/dev/null 2>&1 &
    pids+=($!)
    wait_for "xdotool search --onlyvisible --class xlogo" 5 || fail "xlogo did not show"
    launch "${2:-app}"
}

# run_case CASE: runs the script's function case_CASE.
run_case() {
    local name=${1:?usage: $0 CASE}
    "case_$name"
    echo "PASS: $name"
}
