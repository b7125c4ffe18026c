#!/bin/sh
# Renders the terminal corpus (tests/ocr/terminal/*.txt) as a real xterm on a
# private Xvfb shows it, in three fonts, each image beside a .txt file with
# the text on screen (the lines folded at 80 columns, as xterm wraps them):
#
#   xterm-fixed   xterm's default font, the server's bitmap "fixed" (6x13)
#   xterm-9x15    the misc-fixed 9x15 bitmap font
#   xterm-dejavu  DejaVu Sans Mono at 10 points, anti-aliased
#
# Needs Xvfb, xterm and the xfonts-base fonts; the windows are captured with
# tessarin itself.
#
#   bench/ocr/make_terminal_images.sh <tessarin> <folder>
set -eu
tessarin=${1:?usage: make_terminal_images.sh <tessarin> <folder>}
out=${2:?usage: make_terminal_images.sh <tessarin> <folder>}
corpus=$(cd "$(dirname "$0")/../../tests/ocr/terminal" && pwd)
mkdir -p "$out"

Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp 3>"$out/.display" 2>/dev/null &
server=$!
trap 'kill $server 2>/dev/null' EXIT
while [ ! -s "$out/.display" ]; do sleep 0.1; done
export DISPLAY=:$(cat "$out/.display")
rm -f "$out/.display"

# shot <name> <text file> <xterm font options...>
shot() {
    name=$1 text=$2
    shift 2
    fold -w 80 "$text" > "$out/$name.txt"
    rows=$(($(wc -l < "$out/$name.txt") + 1))
    xterm "$@" -T "$name" -geometry "80x$rows+0+0" -e sh -c "cat '$text'; exec sleep 60" 2>/dev/null &
    client=$!
    # The window exists before its text is drawn: wait until two captures a
    # moment apart agree and hold more than the background.
    previous=
    for _ in $(seq 50); do
        sleep 0.3
        "$tessarin" capture-window --app xterm --window "$name" --out "$out/$name.png" >/dev/null 2>&1 || continue
        current=$(cksum < "$out/$name.png")
        [ "$current" = "$previous" ] && break
        previous=$current
    done
    kill $client
}

for text in "$corpus"/*.txt; do
    screen=$(basename "$text" .txt)
    shot "xterm-fixed-$screen" "$text"
    shot "xterm-9x15-$screen" "$text" -fn 9x15
    shot "xterm-dejavu-$screen" "$text" -fa "DejaVu Sans Mono" -fs 10
done
