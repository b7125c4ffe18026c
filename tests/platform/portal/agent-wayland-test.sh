#!/usr/bin/env bash
# The agent in a headless Wayland session, through the desktop portals. Run
# by CTest inside tests/support/wayland-run.sh (see CMakeLists.txt there):
#   agent-wayland-test.sh layout PROGRAM     --outputs 2 --scales "1 2" --bg "#102030 #c08040"
#   agent-wayland-test.sh client PROGRAM     --size 640x360 (a foot terminal fills the output)
#   agent-wayland-test.sh no-portal PROGRAM  --portals none, or --portals no-screenshot
# Pixels are read with ImageMagick; every command has a time limit, so a
# portal that does not answer fails the test instead of hanging it.
set -u
mode=${1:?usage: $0 layout|client|no-portal PROGRAM}
program=${2:?usage: $0 MODE PROGRAM}
work=$(mktemp -d "${TMPDIR:-/tmp}/tessarin-wayland-test.XXXXXX")
trap 'rm -rf "$work"' EXIT
cd "$work" || exit 1
export HOME=$work XDG_CONFIG_HOME=$work/config XDG_DATA_HOME=$work/data XDG_CACHE_HOME=$work/cache
fails=0

ok() { echo "ok   $*"; }
bad() { echo "FAIL $*"; fails=$((fails + 1)); }
check() {  # DESCRIPTION ACTUAL EXPECTED
    if [ "$2" = "$3" ]; then ok "$1"; else bad "$1: got '$2', want '$3'"; fi
}
contains() {  # DESCRIPTION TEXT PART
    case "$2" in *"$3"*) ok "$1" ;; *) bad "$1: '$2' lacks '$3'" ;; esac
}
agent() {  # ARGS... : runs the program; its stdout in $out, stderr in $err, status in $status
    out=$(timeout 20 "$program" "$@" 2>"$work/err")
    status=$?
    err=$(cat "$work/err")
}
size_of() { identify -format '%wx%h' "$1" 2>/dev/null; }
pixel_of() {  # FILE X Y -> #rrggbb
    /usr/bin/convert "$1" -crop "1x1+$2+$3" -depth 8 txt:- 2>/dev/null | sed -n '2s/.*#\([0-9A-Fa-f]\{6\}\).*/#\1/p' |
        tr 'A-F' 'a-f'
}

case "$mode" in
layout)
    # HEADLESS-1: 1280x720 at scale 1, #102030. HEADLESS-2: 1280x720 pixels at
    # scale 2 (640x360 logical, right of the first), #c08040.
    agent list-targets
    check "list-targets status" "$status" 0
    check "list-targets displays and no windows" "$(tr -d ' \n' <<< "$out")" \
        '{"displays":[{"displayID":2675618608,"height":720,"index":0,"width":1280},{"displayID":2725951465,"height":720,"index":1,"width":1280}],"windows":[]}'
    contains "list-targets warns that there is no window list" "$err" \
        '{"warning":"the window list is empty: there is no global window list on Wayland'

    for display in 0 1; do
        agent capture-full --display "$display" --out "full$display.png"
        check "capture-full --display $display" "$status $out" \
            "0 {\"bbox\":[0,0,1280,720],\"height\":720,\"path\":\"full$display.png\",\"width\":1280}"
        check "capture-full --display $display size" "$(size_of "full$display.png")" 1280x720
    done
    check "display 0's far corner" "$(pixel_of full0.png 1279 719)" "#102030"
    check "display 1's far corner" "$(pixel_of full1.png 1279 719)" "#c08040"

    agent capture-region --display 1 --rect 100,50,300,200 --out region.png
    check "capture-region on the scale-2 display" "$status $out" \
        '0 {"bbox":[0,0,300,200],"height":200,"path":"region.png","width":300}'
    check "region size" "$(size_of region.png)" 300x200
    check "region corner" "$(pixel_of region.png 299 199)" "#c08040"
    agent capture-region --display 0 --rect 1270,710,20,20 --out edge.png
    # kept inside its display: no pixel of the next display, right of it in the layout
    check "a region over the display's edge stays on the display" \
        "$status $(size_of edge.png) $(pixel_of edge.png 19 19)" "0 20x20 #102030"

    agent capture-window --app foot --out window.png
    check "capture-window fails" "$status" 1
    contains "capture-window says why" "$err" "there is no global window list on Wayland"

    agent doctor
    check "doctor status" "$status" 0
    # (What doctor says of each portal is PortalDoctorTest's.)
    contains "doctor names the back end" "$out" "  back end:               desktop portals (Wayland display $WAYLAND_DISPLAY)"

    # DISPLAY (Xwayland) does not make the agent use X11 in a Wayland session.
    DISPLAY=:99 agent capture-full --display 0 --out with-display.png
    check "a Wayland session with DISPLAY still uses the portals" "$status $(pixel_of with-display.png 5 5)" "0 #102030"
    ;;
client)
    # A real client: foot filling HEADLESS-1 (640x360), its own colours.
    foot -o colors.background=2a4d69 -o colors.foreground=f0e68c -o font=monospace:size=14 \
        sh -c 'printf "Tessarin on Wayland\n0123456789\n"; exec sleep 60' >"$work/foot.log" 2>&1 &
    foot_pid=$!
    shown=no
    for _ in $(seq 100); do
        [ "$("$WAYLAND_SESSION_SCRIPT" pixel 600 300 2>/dev/null)" = "#2a4d69" ] && { shown=yes; break; }
        sleep 0.1
    done
    check "foot is on the screen" "$shown" yes
    sleep 0.3  # let it finish drawing its text after the background
    grim -o HEADLESS-1 grim.png
    agent capture-full --out foot.png
    check "capture-full of foot" "$status $(size_of foot.png)" "0 640x360"
    check "identical to grim's image" "$(compare -metric AE grim.png foot.png null: 2>&1)" 0
    # The portal's file of the lone output goes out as it is.
    cmp -s /tmp/out.png foot.png && ok "the portal's own PNG, written as it is" ||
        bad "the portal's own PNG, written as it is"
    grim -g "20,10 200x60" grim-region.png
    agent capture-region --rect 20,10,200,60 --out foot-region.png
    check "capture-region of foot's text" "$status $(size_of foot-region.png)" "0 200x60"
    check "region identical to grim -g" "$(compare -metric AE grim-region.png foot-region.png null: 2>&1)" 0
    kill "$foot_pid" 2>/dev/null
    ;;
no-portal)
    start=$(date +%s%N)
    agent capture-full --out none.png
    elapsed_ms=$((($(date +%s%N) - start) / 1000000))
    check "capture-full without a Screenshot portal fails" "$status $out" "1 "
    contains "and says what to install" "$err" \
        '{"error":"capture failed: Capture failed: no Screenshot portal answers on the session bus: install xdg-desktop-portal'
    [ -e none.png ] && bad "nothing written" || ok "nothing written"
    echo "     (answered in $elapsed_ms ms)"
    agent doctor
    check "doctor fails" "$status" 1
    contains "doctor says captures need the Screenshot portal" "$out" "  → capture-* needs the desktop's Screenshot portal"
    ;;
*) echo "unknown mode $mode" >&2; exit 2 ;;
esac
[ "$fails" = 0 ]
