#!/usr/bin/env bash
# A short recording through the ScreenCast portal, run inside
# tests/support/wayland-run.sh: the movie has the area's size, one frame per
# frame the source delivered, at the asked rate; and a ScreenCast portal
# that is missing or refuses says so, in time.
#   wayland-recording-test.sh TOOL MEDIA_MODULE record|missing|refused
set -u
tool=${1:?usage: $0 TOOL MEDIA_MODULE record|missing|refused}
module=${2:?}
case=${3:?}
work=$(mktemp -d "${TMPDIR:-/tmp}/tessarin-wayland-recording.XXXXXX")
trap 'rm -rf "$work"' EXIT
# The restore token and anything else stays in the test's folder.
export HOME=$work XDG_DATA_HOME=$work/data XDG_CONFIG_HOME=$work/config XDG_CACHE_HOME=$work/cache
fails=0
check() {  # DESCRIPTION ACTUAL EXPECTED
    if [ "$2" = "$3" ]; then echo "ok   $1"; else echo "FAIL $1: got '$2', want '$3'"; fails=$((fails + 1)); fi
}
json() {  # KEY < JSON line
    python3 -c 'import json, sys; v = json.loads(sys.stdin.read().splitlines()[-1]).get(sys.argv[1]); print("" if v is None else v)' "$1"
}
record() {  # SECONDS FPS AREA
    "$tool" record --screencast --module "$module" --area "$3" --seconds "$1" --fps "$2" --out "$work/movie.mp4"
}

case "$case" in
record)
    out=$(record 2 30 100,60,320,240)
    echo "$out"
    check "no error" "$(json error <<< "$out")" ""
    probe=$(ffprobe -v error -count_frames -select_streams v:0 \
        -show_entries stream=width,height,nb_read_frames -of csv=p=0 "$work/movie.mp4")
    IFS=, read -r width height frames <<< "$probe"
    check "movie size" "${width}x${height}" "320x240"
    check "every delivered frame is in the movie" "$frames" "$(json framesDelivered <<< "$out")"
    duration=$(json duration <<< "$out")
    # The frames' own time stamps: one frame per 1/30 s of the movie.
    check "frames match the movie's length at 30 per second" \
        "$(python3 -c "print(abs($frames - $duration * 30) <= 2)")" "True"
    check "the stream kept up" "$(json skippedTicks <<< "$out")" "0"
    ;;
missing)
    out=$(record 1 30 0,0,64,64)
    echo "$out"
    check "error" "$(json error <<< "$out")" \
        "Recording failed: no desktop portal offers screen casts (org.freedesktop.portal.ScreenCast)"
    ;;
refused)
    out=$(record 1 30 0,0,64,64)
    echo "$out"
    # The stock backend cannot share without a GPU and answers Start with a refusal.
    check "error" "$(json error <<< "$out")" "Screen recording permission denied."
    ;;
*) echo "unknown case $case"; exit 2 ;;
esac
[ "$fails" = 0 ]
