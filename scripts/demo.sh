#!/usr/bin/env bash
# One command from a fresh Debian 12 machine to the agent at work: installs
# what is missing, builds, and runs the agent's commands. With no DISPLAY it
# starts its own Xvfb with two real client windows and demonstrates there.
set -euo pipefail
cd "$(dirname "$0")/.."
./scripts/install-deps.sh
./scripts/build.sh

out="${TESSARIN_DEMO_OUT:-$PWD/demo-output}"
mkdir -p "$out"
tessarin="$PWD/build/src/tessarin"
pids=()
cleanup() { for p in "${pids[@]}"; do kill "$p" 2>/dev/null || true; done; }
trap cleanup EXIT

if [ -z "${DISPLAY:-}" ]; then
  num=77
  while [ -e "/tmp/.X$num-lock" ] || [ -e "/tmp/.X11-unix/X$num" ]; do num=$((num + 1)); done
  Xvfb ":$num" -screen 0 1600x900x24 -noreset -nolisten tcp >/dev/null 2>&1 &
  pids+=($!)
  export DISPLAY=":$num"
  for _ in $(seq 1 100); do xdpyinfo >/dev/null 2>&1 && break; sleep 0.1; done
  xsetroot -solid '#2e4a62'
  xterm -T "demo terminal" -geometry 80x24+40+40 -e sh -c 'ls -l /usr/bin | head -40; sleep 600' 2>/dev/null &
  pids+=($!)
  xlogo -geometry 300x300+900+120 2>/dev/null &
  pids+=($!)
  # The demonstration's previous region belongs to this throwaway screen, not
  # to the user's desktop: keep its preferences apart.
  export XDG_CONFIG_HOME="$out/config"
  sleep 1
  echo "# started Xvfb on $DISPLAY with an xterm and an xlogo"
fi

run() {
  echo
  echo "\$ tessarin $*"
  "$tessarin" "$@" || echo "(exit status $?)"
}

run version
run doctor
run list-targets
run capture-full --out "$out/full.png"
run capture-region --rect 40,40,400,300 --out "$out/region.png"
run capture-previous-region --out "$out/previous.jpg"
run capture-window --app xterm --out "$out/xterm.png"
run capture-region --rect 10,20,abc --out "$out/bad.png"
echo
echo "# images written to $out"
