#!/usr/bin/env bash
# One command from a fresh Debian 12 machine to Tessarin at work: installs
# what is missing and builds. On a desktop (DISPLAY set) it starts the
# application in the tray. With no DISPLAY it demonstrates under its own
# Xvfb: the agent's commands against two real client windows, then the
# application in a private session with a window manager, a tray and a
# session bus, with screenshots of what it showed.
set -euo pipefail
cd "$(dirname "$0")/.."
./scripts/install-deps.sh
./scripts/build.sh

if [ -n "${DISPLAY:-}" ] && [ -z "${TESSARIN_DEMO_AGENT:-}" ]; then
  # Replaces a copy already running; the terminal stays free.
  nohup ./build/src/tessarin >/dev/null 2>&1 &
  echo "Tessarin is running in your tray: Print captures an area, Shift+Print the full screen."
  echo "Quit it from its tray menu. (TESSARIN_DEMO_AGENT=1 $0 runs the agent's demonstration here instead.)"
  exit 0
fi

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
  # less shows the listing from its top; alternateScroll turns wheel clicks
  # into cursor keys there, so the scrolling capture can page through it.
  xterm -T "demo terminal" -geometry 80x24+40+40 -xrm 'XTerm*alternateScroll: true' \
    -e sh -c 'ls -l /usr/bin | head -150 | LESS= less; sleep 600' 2>/dev/null &
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
cat > "$out/shapes.json" <<'JSON'
{"shapes": [
  {"type": "box", "x": 36, "y": 36, "w": 500, "h": 160},
  {"type": "arrow", "from": [700, 300], "to": [540, 200], "color": "#007AFF", "lineWidth": 4},
  {"type": "text", "x": 560, "y": 310, "text": "the terminal", "fontSize": 24, "color": "#007AFF"},
  {"type": "number", "x": 36, "y": 36, "n": 1},
  {"type": "highlight", "x": 40, "y": 60, "w": 300, "h": 16, "color": "#FFCC00"},
  {"type": "blur", "x": 900, "y": 120, "w": 300, "h": 300, "style": "pixelate"}
]}
JSON
run annotate --in "$out/full.png" --out "$out/annotated.png" --shapes "$out/shapes.json"
run capture-text --app xterm --out "$out/text-source.png"
# (the region leaves out less's prompt line, which would repeat in every step)
run capture-scrolling --rect 41,41,484,300 --max-seconds 15 --out "$out/scrolled.png"

if [ -z "${TESSARIN_DEMO_AGENT:-}" ]; then
  echo
  echo "# the desktop application, in a private session (Xvfb, openbox, trayer, session bus)"
  # The agent's Xvfb is done with; the application gets a session of its own.
  cleanup
  pids=()
  ./tests/support/desktop-session.sh -- ./scripts/demo-desktop.sh "$out/desktop"
fi
echo
echo "# images written to $out"
