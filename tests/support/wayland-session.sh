#!/usr/bin/env bash
# wayland-session.sh - a private, headless Wayland desktop session for the
# Wayland tests: sway on the wlroots headless backend (no GPU, seat or
# logind), a private session D-Bus, PipeWire + WirePlumber, and
# xdg-desktop-portal with the wlroots backend (Screenshot, ScreenCast);
# optionally GlobalShortcuts through the KDE backend. Tests normally use it
# through wayland-run.sh, which also gives each session its own /tmp/out.png.
#
# Usage:
#   eval "$(wayland-session.sh start)"      start; prints `export VAR=value` lines
#   wayland-session.sh stop [DIR]           stop ($WAYLAND_SESSION_DIR by default)
#   wayland-session.sh status [DIR]         list the session's processes
#   Helpers (need the exported environment of a running session):
#   wayland-session.sh pixel X Y            colour at layout pixel X,Y (grim): #rrggbb
#   wayland-session.sh bg '#rrggbb'|IMAGE [OUTPUT [MODE]]   change an output background
#   wayland-session.sh outputs              "NAME X Y W H SCALE" per active output
#   wayland-session.sh png FILE X Y [X Y ...]   size and pixel colours of a PNG
#   wayland-session.sh build-xdpw [DEST]    build the patched xdg-desktop-portal-wlr (below)
#
# Packages (Debian 12; scripts/install-deps.sh installs them): sway swaybg grim
# xdg-desktop-portal xdg-desktop-portal-wlr pipewire pipewire-bin wireplumber
# dbus python3 (setpriv from util-linux when run as root); for build-xdpw:
# meson ninja-build pkg-config libpipewire-0.3-dev libwayland-dev
# wayland-protocols libinih-dev libgbm-dev libdrm-dev libsystemd-dev xz-utils;
# for WS_SHORTCUTS=kde: xdg-desktop-portal-kde (optional).
#
# `start` prints WAYLAND_SESSION_DIR, XDG_RUNTIME_DIR, WAYLAND_DISPLAY,
# DBUS_SESSION_BUS_ADDRESS, PIPEWIRE_RUNTIME_DIR, SWAYSOCK,
# XDG_CURRENT_DESKTOP=sway and XDG_SESSION_TYPE=wayland as export lines.
# Progress and errors go to stderr; exit status 1 (and everything started is
# stopped again) when any part fails to come up.
#
# Configuration (environment, all optional):
#   WS_DIR=/path         state folder (default: mktemp -d /tmp/wayland-session.XXXXXX)
#   WS_OUTPUTS=1         number of headless outputs HEADLESS-1..N, left to right
#   WS_SIZE=1280x720     mode of every output, in pixels
#   WS_SCALES="1 2"      per-output scale (missing entries: 1)
#   WS_BG="#ff0000 #00ff00 #0000ff #ffff00"   per-output background colours
#   WS_RENDERER=pixman   wlroots renderer (default: pixman without /dev/dri/renderD*)
#   WS_XDPW=/path        xdg-desktop-portal-wlr binary (default: the Debian one)
#   WS_CAST_OUTPUT=HEADLESS-1   output the ScreenCast portal shares (chooser_type=none)
#   WS_CAST_FPS=30       max_fps of the ScreenCast stream
#   WS_CAST_WINDOWS=     share|cancel|refuse|stall|hold: put cast-windows-portal.py (next
#                        to this script; needs python3-gi) in front of the wlr
#                        ScreenCast backend, offering window sources too. A
#                        window asked for is the cast output, described as a
#                        window; cancel/refuse answer Start with 1/2; stall
#                        never answers SelectSources, hold never Start. Its log
#                        (one JSON line per call) is DIR/logs/cast-windows-portal.log.
#   WS_PORTALS=private   private (default) | system | none (no xdg-desktop-portal
#                        at all) | no-screenshot (the portal without its
#                        Screenshot frontend)
#   WS_SHORTCUTS=none    none | kde (GlobalShortcuts through xdg-desktop-portal-kde)
#   WS_SWAY_USER=nobody  user sway runs as when this script runs as root
#   WS_TIMEOUT=20        seconds to wait for each component
#   WS_PYTHON=/usr/bin/python3
#   WS_KEEP=1            `stop` keeps the state folder (logs are in DIR/logs)
#
# Why the details matter (sway 1.7, wlroots 0.15, xdg-desktop-portal 1.16,
# xdg-desktop-portal-wlr 0.7, PipeWire 0.3.65):
# - sway refuses to run as root. As root, sway runs as WS_SWAY_USER through
#   setpriv with its own runtime folder DIR/compositor; DIR/run (the exported
#   XDG_RUNTIME_DIR, the caller's) holds a symlink to its Wayland socket.
# - Session processes get XDG_* folders inside DIR and no DISPLAY.
# - xdg-desktop-portal 1.16 exports its Screenshot frontend only when some
#   backend declares org.freedesktop.impl.portal.Access, which the wlr backend
#   does not: WS_PORTALS=private adds a declaration-only Access backend that
#   never runs (the wlr Screenshot backend is version 1, so the frontend asks
#   no permission). Without it (no-screenshot) Screenshot is missing.
# - Screenshot (interactive=false): the wlr backend runs `grim -- /tmp/out.png`
#   and answers file:///tmp/out.png, a FIXED path shared by every session on
#   the machine: wayland-run.sh binds a private file over it.
# - ScreenCast: the Debian wlr backend 0.7 demands dma-buf, which the pixman
#   renderer cannot give. `build-xdpw` rebuilds it with a one-line patch (only
#   demand dma-buf with a GBM device) into xdg-desktop-portal-wlr, plus
#   xdg-desktop-portal-wlr-continuous (plain copy: a frame every 1/max_fps
#   even on an unchanged screen; deterministic for tests).
# - Window sources (WS_CAST_WINDOWS): the wlr backend offers monitors only
#   (AvailableSourceTypes 1), so window picks are refused by the frontend
#   itself. The stand-in owns org.freedesktop.impl.portal.desktop.castwindows,
#   takes ScreenCast off wlr.portal (1.16 has no per-interface preference)
#   and forwards to the wlr backend; the frontend still opens the PipeWire
#   remote itself.
# - GlobalShortcuts (WS_SHORTCUTS=kde): kglobalaccel5 and the KDE backend with
#   QT_QPA_PLATFORM=offscreen; KDE 5.27 only registers shortcuts passed in
#   CreateSession's options["shortcuts"]; a test triggers one through
#   org.kde.kglobalaccel /component/<token> invokeShortcut(s).
# - Stopping sends SIGTERM (then SIGKILL) to the recorded PIDs and to the
#   processes started on the session's behalf, found by a per-session token in
#   their environment (_WS_OWNER=...); no process is ever selected by name.
# - No input devices: no pointer or key events, no cursor in captures.
set -u

PROG=${0##*/}
SELF=$(readlink -f "$0")
PY=${WS_PYTHON:-/usr/bin/python3}
XDP=/usr/libexec/xdg-desktop-portal
XDPW_STOCK=/usr/libexec/xdg-desktop-portal-wlr
TIMEOUT=${WS_TIMEOUT:-20}

die() { echo "$PROG: $*" >&2; exit 1; }
log() { echo "$PROG: $*" >&2; }
now_ms() { date +%s%3N; }

# ---------------------------------------------------------------- helpers
# Processes of the session carry _WS_OWNER=<tag> in their environment.
owned() { [ -r "/proc/$1/environ" ] && grep -qzxF "_WS_OWNER=$2" "/proc/$1/environ" 2>/dev/null; }
tagged_pids() {  # all live processes carrying the tag (one grep over /proc)
    grep -lzxF "_WS_OWNER=$1" /proc/[0-9]*/environ 2>/dev/null |
        sed -n 's|^/proc/\([0-9]*\)/environ$|\1|p' | grep -vx "$$" || true
}
pname() { tr '\0' ' ' < "/proc/$1/cmdline" 2>/dev/null | cut -c1-80; }

load_env() {  # source DIR/env of a running session (DIR from arg or env)
    local d=${1:-${WAYLAND_SESSION_DIR:-}}
    [ -n "$d" ] || die "no session: run 'eval \"\$($PROG start)\"' first or pass DIR"
    [ -f "$d/env" ] || die "$d/env missing: not a running session"
    # shellcheck disable=SC1091
    . "$d/env"
}

wait_for() {  # DESCRIPTION CMD... : poll CMD until it succeeds (TIMEOUT s)
    local what=$1 i; shift
    for ((i = 0; i < TIMEOUT * 20; i++)); do
        "$@" >/dev/null 2>&1 && return 0
        sleep 0.05
    done
    echo "$PROG: timed out after ${TIMEOUT}s waiting for $what" >&2
    return 1
}
wait_up() {  # PID DESCRIPTION CMD... : like wait_for, but give up when PID exits
    local pid=$1 what=$2 i; shift 2
    for ((i = 0; i < TIMEOUT * 20; i++)); do
        "$@" >/dev/null 2>&1 && return 0
        kill -0 "$pid" 2>/dev/null || { echo "$PROG: process $pid exited while waiting for $what" >&2; return 1; }
        sleep 0.05
    done
    echo "$PROG: timed out after ${TIMEOUT}s waiting for $what" >&2
    return 1
}

grim_pixel() {  # X Y -> #rrggbb of the layout pixel (logical coordinates)
    local hex
    hex=$(grim -g "$1,$2 1x1" -t ppm - 2>/dev/null | tail -c 3 | od -An -tx1 | tr -d ' \n')
    [ ${#hex} -eq 6 ] || return 1
    echo "#$hex"
}
pixel_is() { [ "$(grim_pixel "$1" "$2")" = "$3" ]; }

name_has_owner() {
    dbus-send --session --print-reply=literal --dest=org.freedesktop.DBus /org/freedesktop/DBus \
        org.freedesktop.DBus.NameHasOwner "string:$1" 2>/dev/null | grep -q true
}
wireplumber_ready() { pw-cli ls Client 2>/dev/null | grep -q 'application.name = "WirePlumber'; }

sway_outputs() {  # NAME X Y W H SCALE per active output
    swaymsg -t get_outputs -r | "$PY" -c '
import json, sys
for o in json.load(sys.stdin):
    if o.get("active"):
        r = o["rect"]
        print(o["name"], r["x"], r["y"], r["width"], r["height"], o.get("scale", 1))'
}

# ---------------------------------------------------------------- python helper
run_py() {
    "$PY" - "$@" <<'PYEOF'
import sys, struct, zlib

DEST, OBJ = 'org.freedesktop.portal.Desktop', '/org/freedesktop/portal/desktop'

def read_png(path):
    d = open(path, 'rb').read()
    if d[:8] != b'\x89PNG\r\n\x1a\n':
        sys.exit('not a PNG: %s' % path)
    pos, idat, w = 8, b'', None
    while pos < len(d):
        ln, = struct.unpack('>I', d[pos:pos + 4]); t = d[pos + 4:pos + 8]; c = d[pos + 8:pos + 8 + ln]; pos += 12 + ln
        if t == b'IHDR': w, h, bd, ct, _, _, il = struct.unpack('>IIBBBBB', c)
        elif t == b'IDAT': idat += c
        elif t == b'IEND': break
    if w is None or bd != 8 or ct not in (2, 6) or il:
        sys.exit('unsupported PNG %s (want 8-bit RGB/RGBA, not interlaced)' % path)
    bpp = 3 if ct == 2 else 4; stride = w * bpp
    raw = zlib.decompress(idat); rows = []; prev = bytearray(stride); i = 0
    for _ in range(h):
        f = raw[i]; line = bytearray(raw[i + 1:i + 1 + stride]); i += 1 + stride
        if f == 1:
            for x in range(bpp, stride): line[x] = (line[x] + line[x - bpp]) & 255
        elif f == 2:
            for x in range(stride): line[x] = (line[x] + prev[x]) & 255
        elif f == 3:
            for x in range(stride): line[x] = (line[x] + (((line[x - bpp] if x >= bpp else 0) + prev[x]) >> 1)) & 255
        elif f == 4:
            for x in range(stride):
                a = line[x - bpp] if x >= bpp else 0; b = prev[x]; c = prev[x - bpp] if x >= bpp else 0
                pa, pb, pc = abs(b - c), abs(a - c), abs(a + b - 2 * c)
                line[x] = (line[x] + (a if pa <= pb and pa <= pc else b if pb <= pc else c)) & 255
        rows.append(line); prev = line
    return w, h, bpp, rows

def cmd_png(path, *coords):
    w, h, bpp, rows = read_png(path)
    out = ['%dx%d' % (w, h)]
    for x, y in zip(coords[0::2], coords[1::2]):
        x, y = int(x), int(y)
        if not (0 <= x < w and 0 <= y < h): sys.exit('pixel %d,%d outside %dx%d' % (x, y, w, h))
        out.append('#%02x%02x%02x' % tuple(rows[y][x * bpp:x * bpp + 3]))
    print(' '.join(out))

cmds = {'png': cmd_png}
cmds[sys.argv[1]](*sys.argv[2:])
PYEOF
}

# ---------------------------------------------------------------- stop
stop_session() {  # DIR  (also used when start fails)
    local dir=$1 tag name pid i left=0 alive
    [ -f "$dir/tag" ] || { log "$dir is not a session folder (no tag file)"; return 1; }
    tag=$(cat "$dir/tag")
    if [ -f "$dir/pids" ]; then
        while read -r name pid; do   # newest first
            if owned "$pid" "$tag"; then kill -TERM "$pid" 2>/dev/null && log "stopped $name (PID $pid)"; fi
        done < <(tac "$dir/pids")
    fi
    for ((i = 0; i < 30; i++)); do
        alive=0
        while read -r name pid; do owned "$pid" "$tag" && alive=1; done < "$dir/pids" 2>/dev/null
        [ "$alive" = 0 ] && break
        sleep 0.1
    done
    # processes started on the session's behalf (D-Bus activation, swaybg, ...)
    for pid in $(tagged_pids "$tag"); do
        log "stopped $(pname "$pid") (PID $pid, started by the session)"
        kill -TERM "$pid" 2>/dev/null
    done
    for ((i = 0; i < 30; i++)); do
        [ -z "$(tagged_pids "$tag")" ] && break
        sleep 0.1
    done
    for pid in $(tagged_pids "$tag"); do
        log "PID $pid ($(pname "$pid")) ignored SIGTERM; sending SIGKILL"
        kill -KILL "$pid" 2>/dev/null
    done
    sleep 0.1
    for pid in $(tagged_pids "$tag"); do log "PID $pid still running: $(pname "$pid")"; left=1; done
    if grep -qF " $dir/run/doc " /proc/self/mountinfo 2>/dev/null; then
        fusermount3 -u -z "$dir/run/doc" 2>/dev/null || umount -l "$dir/run/doc" 2>/dev/null ||
            { log "could not unmount $dir/run/doc"; left=1; }
    fi
    if [ "$left" = 0 ] && [ "${WS_KEEP:-0}" != 1 ]; then
        # only what start created; DIR itself goes only if that leaves it empty
        (cd "$dir" && rm -rf run compositor logs config data cache state portals bg \
            sway.conf bus.conf env pids tag) && rmdir "$dir" 2>/dev/null
    elif [ "$left" = 0 ]; then
        rm -f "$dir/env"; log "kept $dir (logs in $dir/logs)"
    fi
    return "$left"
}

cmd_stop() {
    local dir=${1:-${WAYLAND_SESSION_DIR:-}}
    [ -n "$dir" ] || die "usage: $PROG stop DIR (or set WAYLAND_SESSION_DIR)"
    stop_session "$dir"
}

cmd_status() {
    local dir=${1:-${WAYLAND_SESSION_DIR:-}} pid
    [ -n "$dir" ] && [ -f "$dir/tag" ] || die "usage: $PROG status DIR"
    for pid in $(tagged_pids "$(cat "$dir/tag")"); do echo "$pid $(pname "$pid")"; done
}

# ---------------------------------------------------------------- start
cmd_start() {
    local t0 c outputs size w h dir tag run comp uid sway_user sway_uid sway_gid wl sock renderer
    local xdpw cast_output fps portals shortcuts cast_windows i x y s lw lh bg conf name
    local -a scales bgs sway_prefix wlr_env
    t0=$(now_ms)
    for c in sway swaybg swaymsg grim dbus-daemon dbus-send pipewire wireplumber pw-cli setsid; do
        command -v "$c" >/dev/null || die "$c missing (see the package list at the top of $SELF)"
    done
    [ -x "$XDP" ] || die "$XDP missing: apt-get install xdg-desktop-portal"
    xdpw=${WS_XDPW:-$XDPW_STOCK}
    [ -x "$xdpw" ] || die "$xdpw missing: apt-get install xdg-desktop-portal-wlr (or fix WS_XDPW)"
    [ -x "$PY" ] || die "$PY missing (WS_PYTHON): apt-get install python3"

    outputs=${WS_OUTPUTS:-1}
    case "$outputs" in [1-8]) ;; *) die "WS_OUTPUTS must be 1..8" ;; esac
    size=${WS_SIZE:-1280x720}; w=${size%x*}; h=${size#*x}
    case "$w$h" in ''|*[!0-9]*) die "bad WS_SIZE '$size' (want WxH)" ;; esac
    read -r -a scales <<< "${WS_SCALES:-}"
    read -r -a bgs <<< "${WS_BG:-#ff0000 #00ff00 #0000ff #ffff00}"
    cast_output=${WS_CAST_OUTPUT:-HEADLESS-1}
    fps=${WS_CAST_FPS:-30}
    portals=${WS_PORTALS:-private}
    shortcuts=${WS_SHORTCUTS:-none}
    cast_windows=${WS_CAST_WINDOWS:-}
    case "$cast_windows" in '') ;; share|cancel|refuse|stall|hold)
        [ "$portals" = private ] || die "WS_CAST_WINDOWS needs WS_PORTALS=private"
        "$PY" -c 'from gi.repository import Gio' 2>/dev/null || die "WS_CAST_WINDOWS needs python3-gi for $PY" ;;
        *) die "WS_CAST_WINDOWS must be share, cancel, refuse, stall or hold" ;; esac
    case "$portals" in private|system|none|no-screenshot) ;;
        *) die "WS_PORTALS must be private, system, none or no-screenshot" ;; esac
    case "$shortcuts" in none) ;; kde)
        [ "$portals" = private ] || die "WS_SHORTCUTS=kde needs WS_PORTALS=private"
        command -v kglobalaccel5 >/dev/null || die "kglobalaccel5 missing: apt-get install xdg-desktop-portal-kde" ;;
        *) die "WS_SHORTCUTS must be none or kde" ;; esac

    if [ -n "${WS_DIR:-}" ]; then
        dir=$WS_DIR; mkdir -p "$dir" || die "cannot create $dir"
        [ -e "$dir/tag" ] && die "$dir already holds a session (stop it first)"
        [ -z "$(ls -A "$dir")" ] || die "WS_DIR $dir is not empty"
    else
        dir=$(mktemp -d "${TMPDIR:-/tmp}/wayland-session.XXXXXX") || die "mktemp failed"
    fi
    dir=$(readlink -f "$dir")
    chmod 711 "$dir"   # the compositor user must be able to reach DIR/compositor
    tag="ws-$(basename "$dir")-$$-$(now_ms)"
    echo "$tag" > "$dir/tag"
    : > "$dir/pids"
    run=$dir/run; comp=$dir/compositor
    mkdir -p "$run" "$comp" "$dir/logs" "$dir/config/xdg-desktop-portal" "$dir/config/xdg-desktop-portal-wlr" \
        "$dir/data" "$dir/cache" "$dir/state" "$dir/portals" "$dir/bg"
    chmod 700 "$run" "$comp"; chmod 755 "$dir/bg"

    fail() {
        log "$*"
        local f
        for f in "$dir"/logs/*.log; do
            [ -s "$f" ] && { echo "--- tail $f" >&2; tail -n 8 "$f" >&2; }
        done
        WS_KEEP=${WS_KEEP:-0} stop_session "$dir" >/dev/null 2>&1
        exit 1
    }
    spawn() {  # NAME CMD... : start detached, log to DIR/logs/NAME.log, record PID
        local name=$1; shift
        local -a extra=()
        [ -n "$wl" ] && extra+=("WAYLAND_DISPLAY=$wl")
        [ -n "$sock" ] && extra+=("SWAYSOCK=$sock")
        # -u: a caller's SWAYSOCK/WAYLAND_DISPLAY (e.g. of a previous session)
        # must not leak in: sway binds its IPC socket at $SWAYSOCK if set.
        env -u DISPLAY -u SWAYSOCK -u I3SOCK -u WAYLAND_DISPLAY -u WAYLAND_SOCKET \
            "_WS_OWNER=$tag" "XDG_RUNTIME_DIR=$run" \
            "DBUS_SESSION_BUS_ADDRESS=unix:path=$run/bus" "PIPEWIRE_RUNTIME_DIR=$run" \
            XDG_CURRENT_DESKTOP=sway XDG_SESSION_TYPE=wayland \
            "XDG_CONFIG_HOME=$dir/config" "XDG_DATA_HOME=$dir/data" \
            "XDG_CACHE_HOME=$dir/cache" "XDG_STATE_HOME=$dir/state" "${extra[@]}" \
            setsid "$@" </dev/null >"$dir/logs/$name.log" 2>&1 &
        SPAWNED=$!
        echo "$name $SPAWNED" >> "$dir/pids"
    }
    wl=; sock=

    # --- sway
    uid=$(id -u)
    sway_prefix=()
    if [ "$uid" = 0 ]; then
        command -v setpriv >/dev/null || die "setpriv missing (util-linux)"
        sway_user=${WS_SWAY_USER:-nobody}
        sway_uid=$(id -u "$sway_user") && sway_gid=$(id -g "$sway_user") || die "no user $sway_user"
        [ "$sway_uid" != 0 ] || die "WS_SWAY_USER must not be root (sway refuses to run as root)"
        chown "$sway_uid:$sway_gid" "$comp"
        sway_prefix=(setpriv "--reuid=$sway_uid" "--regid=$sway_gid" --clear-groups --)
        setpriv "--reuid=$sway_uid" "--regid=$sway_gid" --clear-groups -- test -w "$comp" ||
            fail "user $sway_user cannot write $comp (a parent folder is not searchable; set WS_DIR under /tmp)"
    fi
    renderer=${WS_RENDERER:-}
    if [ -z "$renderer" ] && ! ls /dev/dri/renderD* >/dev/null 2>&1; then renderer=pixman; fi
    wlr_env=(WLR_BACKENDS=headless WLR_LIBINPUT_NO_DEVICES=1 "WLR_HEADLESS_OUTPUTS=$outputs")
    [ -n "$renderer" ] && wlr_env+=("WLR_RENDERER=$renderer")
    conf=$dir/sway.conf
    {
        echo "xwayland disable"
        echo "default_border none"
        echo "focus_follows_mouse no"
        x=0
        for ((i = 1; i <= outputs; i++)); do
            s=${scales[i-1]:-1}
            bg=${bgs[i-1]:-${bgs[${#bgs[@]}-1]}}
            echo "output HEADLESS-$i resolution ${w}x${h} position $x 0 scale $s bg $bg solid_color"
            x=$(awk -v x="$x" -v w="$w" -v s="$s" 'BEGIN { printf "%d", x + w / s }')
        done
    } > "$conf"
    chmod 644 "$conf"
    spawn sway env "${wlr_env[@]}" XDG_RUNTIME_DIR="$comp" HOME="$comp" "${sway_prefix[@]}" sway -c "$conf"
    # shellcheck disable=SC2317
    sway_socket() { local f; for f in "$comp"/wayland-*; do [ -S "$f" ] && { basename "$f"; return 0; }; done; return 1; }
    # shellcheck disable=SC2317
    sway_ipc() { local f; for f in "$comp"/sway-ipc.*.sock; do [ -S "$f" ] && { echo "$f"; return 0; }; done; return 1; }
    wait_up "$SPAWNED" "the sway Wayland socket" sway_socket || fail "sway did not start"
    wait_up "$SPAWNED" "the sway IPC socket" sway_ipc || fail "sway IPC socket missing"
    wl=$(sway_socket); sock=$(sway_ipc)
    ln -s "../compositor/$wl" "$run/$wl"
    export XDG_RUNTIME_DIR="$run" WAYLAND_DISPLAY="$wl" SWAYSOCK="$sock"
    unset DISPLAY
    # shellcheck disable=SC2317
    outputs_active() { [ "$(sway_outputs 2>/dev/null | wc -l)" -ge "$outputs" ]; }
    wait_for "$outputs active outputs" outputs_active || fail "sway outputs not active"
    # wait until every output shows its background colour (swaybg has drawn)
    while read -r name x y lw lh s; do
        i=${name#HEADLESS-}
        bg=${bgs[i-1]:-${bgs[${#bgs[@]}-1]}}
        bg=$(echo "$bg" | tr 'A-F' 'a-f')
        wait_for "$name to show $bg" pixel_is $((x + lw / 2)) $((y + lh / 2)) "$bg" ||
            fail "$name does not show $bg (grim saw $(grim_pixel $((x + lw / 2)) $((y + lh / 2))))"
    done < <(sway_outputs)

    # --- session bus
    local -a bus_config=(--session)
    if [ "$portals" = none ]; then
        # No service folders: calling the portal must not start the system's one.
        cat > "$dir/bus.conf" <<'EOF'
<!DOCTYPE busconfig PUBLIC "-//freedesktop//DTD D-Bus Bus Configuration 1.0//EN"
 "http://www.freedesktop.org/standards/dbus/1.0/busconfig.dtd">
<busconfig>
  <type>session</type>
  <listen>unix:tmpdir=/tmp</listen>
  <auth>EXTERNAL</auth>
  <policy context="default">
    <allow send_destination="*" eavesdrop="true"/>
    <allow eavesdrop="true"/>
    <allow own="*"/>
  </policy>
</busconfig>
EOF
        bus_config=(--config-file="$dir/bus.conf")
    fi
    spawn dbus-daemon dbus-daemon "${bus_config[@]}" --nofork --nopidfile --address="unix:path=$run/bus"
    export DBUS_SESSION_BUS_ADDRESS="unix:path=$run/bus"
    wait_up "$SPAWNED" "the session bus" name_has_owner org.freedesktop.DBus || fail "dbus-daemon did not start"

    # --- PipeWire + WirePlumber
    export PIPEWIRE_RUNTIME_DIR="$run"
    spawn pipewire pipewire
    wait_up "$SPAWNED" "the PipeWire socket" test -S "$run/pipewire-0" || fail "pipewire did not start"
    spawn wireplumber wireplumber
    wait_up "$SPAWNED" "WirePlumber" wireplumber_ready || fail "wireplumber did not connect"

    # --- portal backends
    cat > "$dir/config/xdg-desktop-portal-wlr/config" <<EOF
[screencast]
output_name=$cast_output
chooser_type=none
max_fps=$fps
EOF
    spawn xdg-desktop-portal-wlr "$xdpw" -c "$dir/config/xdg-desktop-portal-wlr/config" -l "${WS_XDPW_LOGLEVEL:-INFO}"
    wait_up "$SPAWNED" "xdg-desktop-portal-wlr on the bus" name_has_owner org.freedesktop.impl.portal.desktop.wlr ||
        fail "xdg-desktop-portal-wlr did not start"
    if [ "$shortcuts" = kde ]; then
        local kde_bin
        kde_bin=$(sed -n 's/^Exec=//p' /usr/share/dbus-1/services/org.freedesktop.impl.portal.desktop.kde.service 2>/dev/null)
        [ -x "$kde_bin" ] || fail "xdg-desktop-portal-kde binary not found"
        spawn kglobalaccel5 env QT_QPA_PLATFORM=offscreen kglobalaccel5
        wait_up "$SPAWNED" "kglobalaccel5 on the bus" name_has_owner org.kde.kglobalaccel || fail "kglobalaccel5 did not start"
        spawn xdg-desktop-portal-kde env QT_QPA_PLATFORM=offscreen XDG_CURRENT_DESKTOP=KDE "$kde_bin"
        wait_up "$SPAWNED" "xdg-desktop-portal-kde on the bus" name_has_owner org.freedesktop.impl.portal.desktop.kde ||
            fail "xdg-desktop-portal-kde did not start"
    fi
    if [ -n "$cast_windows" ]; then
        spawn cast-windows-portal "$PY" "$(dirname "$SELF")/cast-windows-portal.py" "$cast_windows"
        wait_up "$SPAWNED" "the window-sharing ScreenCast stand-in on the bus" \
            name_has_owner org.freedesktop.impl.portal.desktop.castwindows || fail "cast-windows-portal.py did not start"
    fi
    {
        echo "[preferred]"
        echo "default=wlr"
        [ "$portals" = private ] && echo "org.freedesktop.impl.portal.Access=teststub"
        [ "$shortcuts" = kde ] && echo "org.freedesktop.impl.portal.GlobalShortcuts=kde"
        [ -n "$cast_windows" ] && echo "org.freedesktop.impl.portal.ScreenCast=castwindows"
    } > "$dir/config/xdg-desktop-portal/sway-portals.conf"
    local -a portal_env=()
    if [ "$portals" = private ] || [ "$portals" = no-screenshot ]; then
        cat > "$dir/portals/wlr.portal" <<'EOF'
[portal]
DBusName=org.freedesktop.impl.portal.desktop.wlr
Interfaces=org.freedesktop.impl.portal.Screenshot;org.freedesktop.impl.portal.ScreenCast;
UseIn=wlroots;sway;
EOF
        if [ -n "$cast_windows" ]; then
            sed -i 's/org.freedesktop.impl.portal.ScreenCast;//' "$dir/portals/wlr.portal"
            cat > "$dir/portals/castwindows.portal" <<'EOF'
[portal]
DBusName=org.freedesktop.impl.portal.desktop.castwindows
Interfaces=org.freedesktop.impl.portal.ScreenCast;
UseIn=wlroots;sway;
EOF
        fi
        # Declaration only: makes xdg-desktop-portal 1.16 export its Screenshot
        # frontend (it requires an Access backend); nothing owns this name.
        [ "$portals" = private ] && cat > "$dir/portals/teststub.portal" <<'EOF'
[portal]
DBusName=org.freedesktop.impl.portal.desktop.teststub
Interfaces=org.freedesktop.impl.portal.Access;
UseIn=none;
EOF
        if [ "$shortcuts" = kde ]; then
            cat > "$dir/portals/kde.portal" <<'EOF'
[portal]
DBusName=org.freedesktop.impl.portal.desktop.kde
Interfaces=org.freedesktop.impl.portal.GlobalShortcuts;
UseIn=sway;
EOF
        fi
        portal_env=(XDG_DESKTOP_PORTAL_DIR="$dir/portals")
    fi
    if [ "$portals" != none ]; then
        spawn xdg-desktop-portal env "${portal_env[@]}" "$XDP" -v
        wait_up "$SPAWNED" "xdg-desktop-portal on the bus" name_has_owner org.freedesktop.portal.Desktop ||
            fail "xdg-desktop-portal did not start"
    fi

    # --- environment for the caller
    {
        printf 'export WAYLAND_SESSION_DIR=%q\n' "$dir"
        printf 'export XDG_RUNTIME_DIR=%q\n' "$run"
        printf 'export WAYLAND_DISPLAY=%q\n' "$wl"
        printf 'export DBUS_SESSION_BUS_ADDRESS=%q\n' "unix:path=$run/bus"
        printf 'export PIPEWIRE_RUNTIME_DIR=%q\n' "$run"
        printf 'export SWAYSOCK=%q\n' "$sock"
        printf 'export XDG_CURRENT_DESKTOP=sway\n'
        printf 'export XDG_SESSION_TYPE=wayland\n'
    } > "$dir/env"
    cat "$dir/env"
    echo "# pids: $(tr ' \n' '= ' < "$dir/pids")"
    echo "# renderer=${renderer:-auto} xdpw=$xdpw portals=$portals shortcuts=$shortcuts cast_windows=${cast_windows:-off} outputs=$outputs"
    echo "# started in $(( $(now_ms) - t0 )) ms; stop with: $SELF stop $dir"
}

# ---------------------------------------------------------------- other commands
cmd_pixel() {
    [ $# -eq 2 ] || die "usage: $PROG pixel X Y"
    load_env; grim_pixel "$1" "$2" || die "grim failed"
}

cmd_outputs() { load_env; sway_outputs; }

cmd_bg() {  # COLOUR|IMAGE [OUTPUT [MODE]]
    local background=${1:-} out=${2:-HEADLESS-1} mode=${3:-stretch} name x y lw lh s before copy
    [ -n "$background" ] || die "usage: $PROG bg '#rrggbb'|IMAGE [OUTPUT [MODE]]"
    load_env
    read -r name x y lw lh s < <(sway_outputs | awk -v o="$out" '$1 == o')
    [ -n "${name:-}" ] || die "no active output $out"
    before=$(grim_pixel $((x + lw / 2)) $((y + lh / 2)))
    if [[ $background =~ ^#[0-9a-fA-F]{6}$ ]]; then
        background=$(echo "$background" | tr 'A-F' 'a-f')
        swaymsg -q output "$out" bg "$background" solid_color || die "swaymsg failed"
        wait_for "$out to show $background" pixel_is $((x + lw / 2)) $((y + lh / 2)) "$background" || die "background not shown"
    else
        [ -r "$background" ] || die "cannot read $background"
        # the compositor may run as another user: give it a readable copy
        copy="$WAYLAND_SESSION_DIR/bg/$(date +%s%N)-$(basename "$background")"
        cp "$background" "$copy" && chmod 644 "$copy"
        swaymsg -q output "$out" bg "$copy" "$mode" || die "swaymsg failed"
        # shellcheck disable=SC2317
        changed() { [ "$(grim_pixel $((x + lw / 2)) $((y + lh / 2)))" != "$before" ]; }
        TIMEOUT=3 wait_for "$out to change" changed || log "centre pixel unchanged (same colour as before?)"
        sleep 0.2
    fi
}

cmd_build_xdpw() {
    local dest=${1:-${XDG_CACHE_HOME:-$HOME/.cache}/tessarin/xdpw} codename orig c
    local -a aptopt
    for c in meson ninja pkg-config cc apt-get tar; do
        command -v "$c" >/dev/null || die "$c missing (see build-xdpw packages at the top of $SELF)"
    done
    pkg-config --exists 'libpipewire-0.3 >= 0.3.62' wayland-client 'wayland-protocols >= 1.24' inih gbm libdrm libsystemd ||
        die "build dependencies missing (see build-xdpw packages at the top of $SELF)"
    mkdir -p "$dest/apt/lists/partial" "$dest/apt/cache/archives/partial" "$dest/apt/sources.list.d" "$dest/src" || die "cannot create $dest"
    dest=$(readlink -f "$dest")
    if ! ls "$dest"/src/xdg-desktop-portal-wlr_*.orig.tar.* >/dev/null 2>&1; then
        codename=$(. /etc/os-release && echo "${VERSION_CODENAME:-bookworm}")
        # the archive the system already uses for its binary packages
        local uri
        uri=$(awk '/^URIs:/{print $2; exit}' /etc/apt/sources.list.d/*.sources 2>/dev/null)
        [ -n "$uri" ] || uri=$(awk '$1=="deb"{for(i=2;i<=NF;i++) if($i ~ /:\/\//){print $i; exit}}' /etc/apt/sources.list 2>/dev/null)
        [ -n "$uri" ] || die "no apt archive URI found in the system's sources"
        cat > "$dest/apt/sources.list.d/src.sources" <<EOF
Types: deb-src
URIs: $uri
Suites: $codename
Components: main
Signed-By: /usr/share/keyrings/debian-archive-keyring.gpg
EOF
        # private apt state: the system's sources and lists are not touched
        aptopt=(-o Dir::Etc::SourceList=/dev/null -o "Dir::Etc::SourceParts=$dest/apt/sources.list.d"
                -o "Dir::State::Lists=$dest/apt/lists" -o "Dir::Cache=$dest/apt/cache")
        apt-get "${aptopt[@]}" -qq update || die "apt-get update (deb-src) failed"
        (cd "$dest/src" && apt-get "${aptopt[@]}" -qq source --download-only xdg-desktop-portal-wlr) ||
            die "apt-get source xdg-desktop-portal-wlr failed"
    fi
    orig=$(ls "$dest"/src/xdg-desktop-portal-wlr_*.orig.tar.* | head -n 1)
    case "$orig" in *_0.7.*) ;; *) log "warning: expected version 0.7.x, got $(basename "$orig")" ;; esac
    rm -rf "$dest/source" "$dest/build"; mkdir -p "$dest/source"
    tar -xf "$orig" -C "$dest/source" --strip-components=1 || die "cannot unpack $orig"
    # The patch: demand a dma-buf format from wlr-screencopy only when a GBM
    # device exists, so that shm-only (GPU-less) compositors can be cast.
    sed -i 's/(cast->ctx->state->screencast_version >= 3 &&$/(cast->ctx->state->screencast_version >= 3 \&\& cast->ctx->gbm \&\&/' \
        "$dest/source/src/screencast/screencast.c"
    grep -q 'screencast_version >= 3 && cast->ctx->gbm &&' "$dest/source/src/screencast/screencast.c" ||
        die "patch did not apply (source changed?)"
    meson setup "$dest/build" "$dest/source" -Dman-pages=disabled -Dsystemd=disabled -Dwerror=false \
        --buildtype=release >"$dest/meson.log" 2>&1 || die "meson setup failed: $dest/meson.log"
    ninja -C "$dest/build" >"$dest/ninja.log" 2>&1 || die "build failed: $dest/ninja.log"
    cp "$dest/build/xdg-desktop-portal-wlr" "$dest/xdg-desktop-portal-wlr"
    # Second variant: plain copy instead of copy_with_damage, so a frame is
    # produced every 1/max_fps even when nothing on the output changes.
    sed -i 's/zwlr_screencopy_frame_v1_copy_with_damage(frame, /zwlr_screencopy_frame_v1_copy(frame, /' \
        "$dest/source/src/screencast/wlr_screencast.c"
    grep -q 'zwlr_screencopy_frame_v1_copy(frame, ' "$dest/source/src/screencast/wlr_screencast.c" ||
        die "continuous patch did not apply (source changed?)"
    ninja -C "$dest/build" >>"$dest/ninja.log" 2>&1 || die "build failed: $dest/ninja.log"
    cp "$dest/build/xdg-desktop-portal-wlr" "$dest/xdg-desktop-portal-wlr-continuous"
    echo "$dest/xdg-desktop-portal-wlr"
    echo "$dest/xdg-desktop-portal-wlr-continuous"
    log "use one with: WS_XDPW=$dest/xdg-desktop-portal-wlr[-continuous] $PROG start"
}

# ---------------------------------------------------------------- main
case "${1:-}" in
    start) shift; cmd_start "$@" ;;
    stop) shift; cmd_stop "$@" ;;
    status) shift; cmd_status "$@" ;;
    pixel) shift; cmd_pixel "$@" ;;
    outputs) shift; cmd_outputs "$@" ;;
    bg) shift; cmd_bg "$@" ;;
    png) shift; [ $# -ge 1 ] || die "usage: $PROG png FILE [X Y ...]"; run_py png "$@" ;;
    build-xdpw) shift; cmd_build_xdpw "$@" ;;
    -h|--help|help) sed -n '2,/^set -u/p' "$SELF" | sed 's/^# \{0,1\}//;/^set -u/d' ;;
    *) die "usage: $PROG start|stop|status|pixel|outputs|bg|png|build-xdpw|help" ;;
esac
