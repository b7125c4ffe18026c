#!/usr/bin/env bash
# capture-scrolling --no-auto-scroll through the ScreenCast portal, run
# inside tests/support/wayland-run.sh (one 1280x720 output): the output's
# background shows successive 1280x720 crops of a tall picture, each STEP
# rows further down, while the capture streams an area of it; the stitched
# image must be that area of the tall picture, rows for rows.
# Without --no-auto-scroll the desktop's missing RemoteDesktop portal is
# named; without a ScreenCast portal the capture says so at once.
#   wayland-scrolling-test.sh TESSARIN stitch|auto-scroll|missing
set -u
tessarin=${1:?usage: $0 TESSARIN stitch|auto-scroll|missing}
case=${2:-stitch}
work=$(mktemp -d "${TMPDIR:-/tmp}/tessarin-wayland-scrolling.XXXXXX")
capture=
trap '[ -n "$capture" ] && kill "$capture" 2>/dev/null; rm -rf "$work"' EXIT
export HOME=$work XDG_DATA_HOME=$work/data XDG_CONFIG_HOME=$work/config XDG_CACHE_HOME=$work/cache
STEPS=8 STEP=90 AREA_X=200 AREA_Y=150 AREA_W=640 AREA_H=360
PY=/usr/bin/python3

expect_error() {  # DESCRIPTION EXPECTED-ERROR ARGS...
    local want=$2 out status
    shift 2
    out=$("$tessarin" capture-scrolling --rect 0,0,64,64 --out "$work/none.png" --max-seconds 5 "$@" 2>&1)
    status=$?
    if [ "$status" = 1 ] && [ "$out" = "$want" ]; then echo "ok   $want"; return 0; fi
    echo "FAIL status $status, output '$out', want '$want'"
    return 1
}
case "$case" in
auto-scroll)
    expect_error "auto-scroll" '{"error":"capture failed: Capture failed: auto-scroll needs the desktop portal'"'"'s remote desktop interface (org.freedesktop.portal.RemoteDesktop), which this desktop does not offer; pass --no-auto-scroll and scroll by hand"}'
    exit ;;
missing)
    expect_error "missing" '{"error":"capture failed: Capture failed: no desktop portal offers screen casts (org.freedesktop.portal.ScreenCast)"}' --no-auto-scroll
    exit ;;
stitch) ;;
*) echo "unknown case $case"; exit 2 ;;
esac

# The tall picture: 16-pixel runs of colours from a hash of the run's column
# and its row, so no row repeats another; crop-N.png shows rows N*STEP on.
"$PY" - "$work" "$STEPS" "$STEP" <<'PYEOF'
import struct, sys, zlib
work, steps, step = sys.argv[1], int(sys.argv[2]), int(sys.argv[3])
W, H = 1280, 720
def colour(x, y):
    h = ((x // 16) * 73856093 ^ y * 19349663) & 0xffffff
    return bytes(((h >> 16) & 255, (h >> 8) & 255, h & 255))
def png(path, top):
    rows = b''.join(b'\0' + b''.join(colour(x, y) for x in range(W)) for y in range(top, top + H))
    chunk = lambda t, d: struct.pack('>I', len(d)) + t + d + struct.pack('>I', zlib.crc32(t + d))
    with open(path, 'wb') as f:
        f.write(b'\x89PNG\r\n\x1a\n' + chunk(b'IHDR', struct.pack('>IIBBBBB', W, H, 8, 2, 0, 0, 0)) +
                chunk(b'IDAT', zlib.compress(rows, 1)) + chunk(b'IEND', b''))
for n in range(steps + 1):
    png('%s/crop-%d.png' % (work, n), n * step)
PYEOF
[ -f "$work/crop-$STEPS.png" ] || { echo "FAIL could not write the pictures"; exit 1; }
"$WAYLAND_SESSION_SCRIPT" bg "$work/crop-0.png" HEADLESS-1 center || exit 1

TESSARIN_LOG=stderr "$tessarin" capture-scrolling --no-auto-scroll --rect "$AREA_X,$AREA_Y,$AREA_W,$AREA_H" \
    --idle-seconds 4 --max-seconds 60 --out "$work/stitched.png" >"$work/out.json" 2>"$work/err.log" &
capture=$!
# The stream's first frame is the first crop; scrolling starts after it.
for ((i = 0; i < 200; i++)); do
    grep -q "cast.stream first_frame" "$work/err.log" && break
    kill -0 "$capture" 2>/dev/null || break
    sleep 0.05
done
grep -q "cast.stream first_frame" "$work/err.log" || { echo "FAIL no first frame"; cat "$work/err.log"; exit 1; }
for ((n = 1; n <= STEPS; n++)); do
    "$WAYLAND_SESSION_SCRIPT" bg "$work/crop-$n.png" HEADLESS-1 center || exit 1
done
wait "$capture"
status=$?
capture=
cat "$work/out.json"
fails=0
check() {  # DESCRIPTION ACTUAL EXPECTED
    if [ "$2" = "$3" ]; then echo "ok   $1"; else echo "FAIL $1: got '$2', want '$3'"; fails=$((fails + 1)); fi
}
check "capture-scrolling status" "$status" 0
height=$((AREA_H + STEPS * STEP))
# Every 37th pixel of the stitched image against the tall picture's.
"$PY" - "$work/stitched.png" "$AREA_X" "$AREA_Y" "$AREA_W" "$height" "$WAYLAND_SESSION_SCRIPT" <<'PYEOF'
import subprocess, sys
path, ax, ay, aw, ah, script = sys.argv[1], *map(int, sys.argv[2:6]), sys.argv[6]
def colour(x, y):
    h = ((x // 16) * 73856093 ^ y * 19349663) & 0xffffff
    return '#%02x%02x%02x' % ((h >> 16) & 255, (h >> 8) & 255, h & 255)
points = [(x, y) for y in range(3, ah, 37) for x in range(5, aw, 131)]
out = subprocess.run([script, 'png', path] + [str(v) for p in points for v in p], capture_output=True, text=True)
words = out.stdout.split()
if not words:
    print('FAIL stitched image unreadable: %s' % out.stderr.strip()); sys.exit(1)
print(('ok   ' if words[0] == '%dx%d' % (aw, ah) else 'FAIL ') + 'stitched size %s, want %dx%d' % (words[0], aw, ah))
wrong = [(p, got, colour(ax + p[0], ay + p[1])) for p, got in zip(points, words[1:]) if got != colour(ax + p[0], ay + p[1])]
print(('ok   ' if not wrong else 'FAIL ') + '%d of %d sampled pixels match the tall picture %s' %
      (len(points) - len(wrong), len(points), wrong[:3] if wrong else ''))
sys.exit(0 if words[0] == '%dx%d' % (aw, ah) and not wrong else 1)
PYEOF
[ $? = 0 ] || fails=$((fails + 1))
[ "$fails" = 0 ] || { echo "--- log"; grep -E "scrolling|cast" "$work/err.log" | tail -20; }
[ "$fails" = 0 ]
