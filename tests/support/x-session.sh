#!/usr/bin/env bash
# x-session.sh - start and stop the headless X servers the integration tests
# run against.
#
#   x-session.sh start xvfb N   Xvfb on :N, one 1920x1080x24 screen
#   x-session.sh start dual N   Xorg with the dummy driver on :N, two RandR
#                               monitors side by side: DUMMY0 1280x800 at
#                               +0+0 (primary) and DUMMY1 1024x768 at +1280+0
#   x-session.sh stop N         stop the server this script started on :N
#
# TESSARIN_X_STATE (optional) is the folder for per-display state (pid, logs,
# xorg.conf); default ${TMPDIR:-/tmp}/tessarin-x.
#
# Why the details matter:
# - Both servers run with -noreset. Without it the server resets when its
#   last client disconnects, and every xrandr/xsetroot call is a client that
#   disconnects, so monitor layout and root background would be lost.
# - The servers' standard streams go to log files and the server runs in its
#   own session: CTest waits for the pipes of a test to close, so a server
#   holding them would hang the fixture test.
# - A lock file left by a server that died (or a reused pid) does not block a
#   start; a live server we did not start does, with a clear message. Only the
#   pid recorded at start, and only while it still is an X server for :N, is
#   ever killed.
# - Xorg with the dummy driver (Debian 12: xserver-xorg-core,
#   xserver-xorg-video-dummy) needs no GPU, VT or input devices; its log has
#   harmless (EE) lines about missing input modules. It must run as root or
#   through a permitted Xorg wrapper.
set -u

die() { echo "x-session: $*" >&2; exit 1; }

usage() { die "usage: $0 start xvfb|dual N | stop N"; }

command=${1:-}
case "$command" in
    start) kind=${2:-}; num=${3:-} ;;
    stop) kind=; num=${2:-} ;;
    *) usage ;;
esac
case "$num" in ''|*[!0-9]*) usage ;; esac

state="${TESSARIN_X_STATE:-${TMPDIR:-/tmp}/tessarin-x}/$num"
lock="/tmp/.X$num-lock"
socket="/tmp/.X11-unix/X$num"
export DISPLAY=":$num"

# True when $1 is a live process whose command line names display :N.
is_server_for_display() {
    local pid=$1
    [ -n "$pid" ] && [ -r "/proc/$pid/cmdline" ] || return 1
    tr '\0' '\n' < "/proc/$pid/cmdline" | grep -qx -- ":$num"
}

# True while the process runs. An exited server stays a zombie until init
# reaps it, which can take seconds in containers; that counts as gone.
running() {
    local state
    state=$(sed -n 's/^[0-9]* (.*) \([A-Za-z]\).*/\1/p' "/proc/$1/stat" 2>/dev/null) || return 1
    [ -n "$state" ] && [ "$state" != Z ]
}

lock_pid() { [ -f "$lock" ] && tr -dc '0-9' < "$lock"; }

stop_server() {
    local pid
    pid=$(cat "$state/pid" 2>/dev/null) || pid=
    if [ -z "$pid" ]; then
        echo "x-session: nothing started on :$num"
        return 0
    fi
    if is_server_for_display "$pid"; then
        kill "$pid"
        for _ in $(seq 1 100); do running "$pid" || break; sleep 0.05; done
        if running "$pid"; then kill -9 "$pid"; sleep 0.2; fi
        echo "x-session: stopped :$num (pid $pid)"
    else
        echo "x-session: pid $pid is no longer the server for :$num; nothing killed"
    fi
    rm -f "$state/pid"
    # A server killed with -9 leaves its lock and socket behind.
    if ! is_server_for_display "$(lock_pid)"; then rm -f "$lock" "$socket"; fi
}

# Clears the way for a new server on :N: stops one an earlier run of ours
# left behind and removes a dead server's lock and socket, or refuses when
# someone else's server owns the display.
claim_display() {
    stop_server >/dev/null
    local owner
    owner=$(lock_pid)
    if [ -n "$owner" ] && is_server_for_display "$owner"; then
        die "display :$num is in use by pid $owner ($(tr '\0' ' ' < "/proc/$owner/cmdline")); choose another display number"
    fi
    rm -f "$lock" "$socket" || die "cannot remove stale $lock / $socket"
}

fail_start() {
    echo "x-session: $*" >&2
    for f in "$state/server.log" "$state/Xorg.log"; do
        [ -f "$f" ] && { echo "--- tail $f" >&2; tail -n 20 "$f" >&2; }
    done
    stop_server >/dev/null 2>&1
    exit 1
}

wait_until_answering() {
    local pid=$1
    for _ in $(seq 1 200); do
        running "$pid" || fail_start "server for :$num exited during start-up"
        xdpyinfo >/dev/null 2>&1 && return 0
        sleep 0.1
    done
    fail_start "server for :$num did not answer within 20 s"
}

# A 60 Hz modeline body for W H. The dummy driver ignores timings, but Xorg
# validates them against the Monitor section.
modeline() {
    local w=$1 h=$2 ht vt clk
    ht=$((w + 384)); vt=$((h + 40))
    clk=$(( ht * vt * 60 / 1000 ))
    printf '%d.%03d %d %d %d %d %d %d %d %d -hsync +vsync' \
        $((clk / 1000)) $((clk % 1000)) "$w" $((w + 64)) $((w + 192)) "$ht" "$h" $((h + 3)) $((h + 9)) "$vt"
}

start_xvfb() {
    command -v Xvfb >/dev/null || die "Xvfb missing (apt-get install xvfb)"
    setsid Xvfb ":$num" -screen 0 1920x1080x24 -noreset -nolisten tcp \
        >"$state/server.log" 2>&1 </dev/null &
    echo $! > "$state/pid"
    wait_until_answering "$(cat "$state/pid")"
}

start_dual() {
    local w1=1280 h1=800 w2=1024 h2=768 xorg vram fbw fbh
    xorg=/usr/lib/xorg/Xorg
    [ -x "$xorg" ] || xorg=$(command -v Xorg) || die "Xorg missing (apt-get install xserver-xorg-core)"
    [ -f /usr/lib/xorg/modules/drivers/dummy_drv.so ] \
        || die "dummy driver missing (apt-get install xserver-xorg-video-dummy)"
    command -v xrandr >/dev/null || die "xrandr missing (apt-get install x11-xserver-utils)"
    fbw=$((w1 + w2)); fbh=$(( h1 > h2 ? h1 : h2 ))
    # kB, room for twice the frame buffer; the driver allocates it lazily.
    vram=$(( fbw * fbh * 4 * 2 / 1024 )); [ "$vram" -lt 65536 ] && vram=65536
    mkdir -p "$state/xorg.conf.d"  # empty: keeps the system's snippets out
    cat > "$state/xorg.conf" <<EOF
Section "ServerFlags"
    Option "AutoAddDevices" "false"
    Option "AutoEnableDevices" "false"
    Option "AutoAddGPU" "false"
    Option "DontVTSwitch" "true"
    Option "AllowMouseOpenFail" "true"
EndSection
Section "Device"
    Identifier "tessarin-dev"
    Driver "dummy"
    VideoRam $vram
    DacSpeed 3000
EndSection
Section "Monitor"
    Identifier "tessarin-mon"
    HorizSync 1.0-2000.0
    VertRefresh 1.0-300.0
    Option "ReducedBlanking" "true"
    Modeline "${w1}x${h1}" $(modeline "$w1" "$h1")
    Modeline "${w2}x${h2}" $(modeline "$w2" "$h2")
EndSection
Section "Screen"
    Identifier "tessarin-screen"
    Device "tessarin-dev"
    Monitor "tessarin-mon"
    DefaultDepth 24
    SubSection "Display"
        Depth 24
        Modes "${w1}x${h1}" "${w2}x${h2}"
        Virtual $fbw $fbh
    EndSubSection
EndSection
EOF
    setsid "$xorg" ":$num" -config "$state/xorg.conf" -configdir "$state/xorg.conf.d" \
        -noreset -nolisten tcp -novtswitch -sharevts \
        -logfile "$state/Xorg.log" >"$state/server.log" 2>&1 </dev/null &
    echo $! > "$state/pid"
    wait_until_answering "$(cat "$state/pid")"
    xrandr --addmode DUMMY1 "${w2}x${h2}" || fail_start "xrandr --addmode DUMMY1 failed"
    xrandr --output DUMMY0 --mode "${w1}x${h1}" --pos 0x0 --primary \
           --output DUMMY1 --mode "${w2}x${h2}" --pos "${w1}x0" || fail_start "xrandr --output failed"
    local monitors
    monitors=$(xrandr --listmonitors 2>&1) || fail_start "xrandr --listmonitors failed: $monitors"
    echo "$monitors" | head -n 1 | grep -qx 'Monitors: 2' || fail_start "expected 2 monitors, got: $monitors"
}

case "$command" in
start)
    mkdir -p "$state" || die "cannot create $state"
    command -v xdpyinfo >/dev/null || die "xdpyinfo missing (apt-get install x11-utils)"
    claim_display
    case "$kind" in
        xvfb) start_xvfb ;;
        dual) start_dual ;;
        *) usage ;;
    esac
    echo "x-session: $kind server on :$num (pid $(cat "$state/pid"), logs in $state)"
    ;;
stop)
    stop_server
    ;;
esac
