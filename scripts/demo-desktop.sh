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
# The tray helpers of the tests (tray-icons finds the docked icon).
APP_TEST_BIN="$root/build/tests/app"
# shellcheck source=../tests/app/lib.sh
. "$root/tests/app/lib.sh"

say() { echo; echo "# $*"; }
shot() { "$tessarin" capture-full --out "$out/$1.png" >/dev/null && echo "  screenshot: $out/$1.png"; }

# The first-run guide is a demonstration of its own (GuideDesktop tests):
# here the application starts as it does once the guide is done.
preferences="${XDG_CONFIG_HOME:-$HOME/.config}/io.tessarin.Tessarin/preferences.json"
mkdir -p "$(dirname "$preferences")"
[ -e "$preferences" ] || echo '{"onboardingCompletedV1": true}' >"$preferences"

say "starting the application: $tessarin"
TESSARIN_LOG=stderr "$tessarin" 2>"$log" &
app=$!
wait_for "grep -q app.ready '$log'" 15 || { echo "the application did not start; see $log"; exit 1; }
sleep 0.5
shot 1-tray

say "opening the tray menu"
if open_tray_menu 3 1 5 >/dev/null; then
    sleep 0.3
    shot 2-tray-menu
    xdotool key Escape
else
    echo "  the tray menu did not open"
fi

say "Print: Capture Area — drag a rectangle in the overlay, then Return"
xlogo -geometry 300x300+820+380 >/dev/null 2>&1 &
wait_for "xdotool search --onlyvisible --class xlogo" 5 || true
xdotool key Print
wait_for "grep -q overlay.shown '$log'" 5 || echo "  the overlay did not show"
xdotool mousemove --sync 760 340 mousedown 1 mousemove 900 450 mousemove --sync 1180 720 mouseup 1
sleep 0.3
shot 3-area-overlay
xdotool key Return
wait_for "grep -q complete.thumbnail_schedule '$log'" 10 || echo "  the capture did not complete"

say "Shift+Print: Capture Full Screen"
xdotool key shift+Print
wait_for "[ \$(grep -c complete.thumbnail_schedule '$log') -ge 2 ]" 10 || echo "  the capture did not complete"
grep -E "action.dispatch|complete\.|capture.start" "$log" | sed 's/^/  /'
history="$XDG_DATA_HOME/io.tessarin.Tessarin/History/images"
mkdir -p "$out/history"
cp "$history"/*.png "$out/history/" 2>/dev/null && echo "  the captures in the history: $out/history/"

say "a link from another program: tessarin 'tessarin://nonsense'"
"$tessarin" 'tessarin://nonsense' && echo "  the second start handed the link over and exited (status 0)"
wait_for "window_exists 'Unsupported URL'" 5 || true
sleep 0.5
shot 4-unsupported-url

link='tessarin://capture-area?x=820&y=380&width=300&height=300&action=save'
say "a link that captures: tessarin '$link'"
"$tessarin" "$link"
desktop="$HOME/Desktop"
if wait_for "identify '$desktop'/*.png" 10; then
    cp "$desktop"/*.png "$out/" && echo "  saved to the Desktop folder, copied to $out/"
else
    echo "  nothing was saved"
fi

say "quitting with SIGTERM (as at logout)"
kill -TERM "$app"
status=0
wait "$app" || status=$?
echo "  exit status $status"
grep -E "quit\.|app\.exit" "$log" | sed 's/^/  /'
echo
echo "# the application's log: $log"
