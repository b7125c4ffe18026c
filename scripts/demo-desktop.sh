#!/usr/bin/env bash
# The desktop application at work, inside a private session (run by
# scripts/demo.sh through tests/support/desktop-session.sh): it starts,
# docks in the tray, opens its menu, runs a shortcut, answers a link and
# quits on SIGTERM. Screenshots of what it showed go to the folder given.
#
#   demo-desktop.sh OUT_FOLDER
set -euo pipefail
out=${1:?usage: $0 OUT_FOLDER}
root=$(cd "$(dirname "$0")/.." && pwd)
tessarin="$root/build/src/tessarin"
log="$out/application.log"
mkdir -p "$out"

say() { echo; echo "# $*"; }
wait_for() {  # wait_for SECONDS COMMAND...: polls until the command succeeds
    local deadline=$((SECONDS + $1))
    shift
    until "$@" >/dev/null 2>&1; do
        [ "$SECONDS" -lt "$deadline" ] || return 1
        sleep 0.1
    done
}
shot() { "$tessarin" capture-full --out "$out/$1.png" >/dev/null && echo "  screenshot: $out/$1.png"; }

say "starting the application: $tessarin"
TESSARIN_LOG=stderr "$tessarin" 2>"$log" &
app=$!
wait_for 15 grep -q "app.ready" "$log" || { echo "the application did not start; see $log"; exit 1; }
sleep 0.5
shot 1-tray

say "opening the tray menu"
icon=$(xdotool search --class tessarin 2>/dev/null | while read -r w; do
    geometry=$(xwininfo -id "$w" | awk '/Width:/{w=$2} /Height:/{h=$2} END{print w"x"h}')
    [ "$geometry" != "1x1" ] && [ "$geometry" != "3x3" ] && echo "$w" && break
done)
if [ -n "$icon" ]; then
    xdotool mousemove --window "$icon" 8 8 click 1
    sleep 0.7
    shot 2-tray-menu
    xdotool key Escape
else
    echo "  no tray icon found"
fi

say "pressing Print (Capture Area) and Shift+Print (Capture Full Screen)"
xdotool key Print
xdotool key shift+Print
wait_for 5 grep -q "action=captureFullScreen source=shortcut" "$log" || true
grep "action.dispatch" "$log" | sed 's/^/  /'
echo "  (the capture flow comes next; the shortcuts reach the application's action entry point)"

say "a link from another program: tessarin 'tessarin://nonsense'"
"$tessarin" 'tessarin://nonsense' && echo "  the second start handed the link over and exited (status 0)"
wait_for 5 xdotool search --name "Unsupported URL" || true
sleep 0.5
shot 3-unsupported-url

say "quitting with SIGTERM (as at logout)"
kill -TERM "$app"
status=0
wait "$app" || status=$?
echo "  exit status $status"
grep -E "quit\.|app\.exit" "$log" | sed 's/^/  /'
echo
echo "# the application's log: $log"
