#!/usr/bin/env bash
# wayland-run.sh [options] -- CMD [ARGS...]
#
# Runs CMD inside a private headless Wayland session (wayland-session.sh) and
# stops the session afterwards, also when CMD fails, times out or is killed.
# CMD inherits the session's environment (WAYLAND_DISPLAY,
# DBUS_SESSION_BUS_ADDRESS, XDG_RUNTIME_DIR, ...) plus WAYLAND_SESSION_SCRIPT
# (the session script, for its pixel/bg/outputs/png helpers); DISPLAY,
# TESSARIN_PLATFORM and TESSARIN_BACKEND are unset.
#
# Options:
#   --outputs N          headless outputs HEADLESS-1..N, left to right (1)
#   --size WxH           mode of every output in pixels (1280x720)
#   --scales "S1 S2"     per-output scale (1)
#   --bg "C1 C2"         per-output background colour (#ff0000 #00ff00 ...)
#   --portals MODE       private (default) | none | no-screenshot | system
#   --shortcuts kde      the GlobalShortcuts portal through the KDE backend
#   --cast MODE          ScreenCast backend: continuous (default) | damage | stock
#   --cast-windows MODE  share|cancel|refuse|stall|hold: a stand-in ScreenCast backend
#                        that offers windows too (wayland-session.sh WS_CAST_WINDOWS)
#   --timeout SECONDS    CMD's time limit (120); then it is killed, status 124
#
# The Screenshot portal's backend writes every image to the fixed path
# /tmp/out.png. As root the whole run happens in a private mount namespace
# where /tmp/out.png is a bind mount of a file of this run, so parallel runs
# never see each other's images; otherwise runs take turns on a lock.
#
# The ScreenCast tests need a patched xdg-desktop-portal-wlr (see
# wayland-session.sh build-xdpw). It is looked for in $TESSARIN_XDPW_DIR
# (default ${XDG_CACHE_HOME:-$HOME/.cache}/tessarin/xdpw) and built there on
# first use; without it the stock backend is used (Screenshot still works).
#
# Exit status: CMD's; 77 when the session's programs are not installed (CTest
# reports the test as skipped); 1 when the session does not start.
set -u

PROG=${0##*/}
SELF=$(readlink -f "$0")
HERE=$(dirname "$SELF")
SESSION=$HERE/wayland-session.sh
SHARED_SHOT=/tmp/out.png
LOCK=/tmp/.tessarin-wayland-shot.lock

die() { echo "$PROG: $*" >&2; exit 1; }

outputs=1 size=1280x720 scales="" bgs="" portals=private shortcuts=none cast=continuous cast_windows="" limit=120
original=("$@")
while [ $# -gt 0 ]; do
    case "$1" in
        --outputs) outputs=$2; shift 2 ;;
        --size) size=$2; shift 2 ;;
        --scales) scales=$2; shift 2 ;;
        --bg) bgs=$2; shift 2 ;;
        --portals) portals=$2; shift 2 ;;
        --shortcuts) shortcuts=$2; shift 2 ;;
        --cast) cast=$2; shift 2 ;;
        --cast-windows) cast_windows=$2; shift 2 ;;
        --timeout) limit=$2; shift 2 ;;
        --) shift; break ;;
        *) die "unknown option $1 (usage: $PROG [options] -- CMD [ARGS...])" ;;
    esac
done
[ $# -gt 0 ] || die "no command (usage: $PROG [options] -- CMD [ARGS...])"

for c in sway swaybg grim pipewire wireplumber dbus-daemon /usr/libexec/xdg-desktop-portal /usr/libexec/xdg-desktop-portal-wlr; do
    if ! command -v "$c" >/dev/null; then
        echo "$PROG: skipped: $c is not installed (scripts/install-deps.sh installs the Wayland session)" >&2
        exit 77
    fi
done

if [ -n "$cast_windows" ] && ! "${WS_PYTHON:-/usr/bin/python3}" -c 'from gi.repository import Gio' 2>/dev/null; then
    echo "$PROG: skipped: python3-gi is not installed (the window-sharing stand-in needs it)" >&2
    exit 77
fi

# As root: once more inside a private mount namespace.
if [ "$(id -u)" = 0 ] && [ -z "${_TESSARIN_WAYLAND_PRIVATE:-}" ]; then
    exec env _TESSARIN_WAYLAND_PRIVATE=1 unshare --mount --propagation private -- "$SELF" "${original[@]}"
fi

xdpw_binary() {  # the backend for --cast, building the patched ones on first use
    local dir=${TESSARIN_XDPW_DIR:-${XDG_CACHE_HOME:-$HOME/.cache}/tessarin/xdpw} name
    case "$cast" in
        stock) echo /usr/libexec/xdg-desktop-portal-wlr; return ;;
        continuous) name=xdg-desktop-portal-wlr-continuous ;;
        damage) name=xdg-desktop-portal-wlr ;;
        *) die "--cast must be continuous, damage or stock" ;;
    esac
    if [ ! -x "$dir/$name" ]; then
        mkdir -p "$dir" || die "cannot create $dir"
        # one build at a time, however many tests start together
        (
            flock 9
            [ -x "$dir/$name" ] || "$SESSION" build-xdpw "$dir" >/dev/null
        ) 9>"$dir.lock" || echo "$PROG: warning: building the patched ScreenCast backend into $dir failed" >&2
    fi
    if [ -x "$dir/$name" ]; then echo "$dir/$name"; else
        echo "$PROG: warning: $dir/$name missing; ScreenCast will not work without a GPU" >&2
        echo /usr/libexec/xdg-desktop-portal-wlr
    fi
}
backend=$(xdpw_binary) || exit 1

shot=$(mktemp /tmp/tessarin-wayland-shot.XXXXXX) || die "mktemp failed"
chmod 644 "$shot"
session_dir=
cleanup() {
    [ -n "$session_dir" ] && "$SESSION" stop "$session_dir" >/dev/null 2>&1
    [ -n "${_TESSARIN_WAYLAND_PRIVATE:-}" ] && umount "$SHARED_SHOT" 2>/dev/null
    rm -f "$shot"
}
trap cleanup EXIT
trap 'exit 143' TERM
trap 'exit 130' INT

if [ -n "${_TESSARIN_WAYLAND_PRIVATE:-}" ]; then
    [ -e "$SHARED_SHOT" ] || : > "$SHARED_SHOT" || die "cannot create $SHARED_SHOT"
    mount --bind "$shot" "$SHARED_SHOT" || die "cannot bind a private file over $SHARED_SHOT"
else
    exec 8>>"$LOCK" || die "cannot open $LOCK"
    flock 8
fi

env_lines=$(env -u DISPLAY WS_OUTPUTS="$outputs" WS_SIZE="$size" WS_SCALES="$scales" \
    ${bgs:+WS_BG="$bgs"} WS_PORTALS="$portals" WS_SHORTCUTS="$shortcuts" WS_CAST_WINDOWS="$cast_windows" WS_XDPW="$backend" \
    "$SESSION" start) || die "the Wayland session did not start"
eval "$(grep '^export ' <<< "$env_lines")"
session_dir=$WAYLAND_SESSION_DIR

unset DISPLAY TESSARIN_PLATFORM TESSARIN_BACKEND
export WAYLAND_SESSION_SCRIPT=$SESSION
timeout --kill-after=5 "$limit" "$@"
status=$?
[ "$status" = 124 ] && echo "$PROG: $1 did not finish within $limit s" >&2
exit "$status"
