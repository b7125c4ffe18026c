#!/usr/bin/env bash
# desktop-session.sh - run one command inside a private, complete X desktop:
# Xvfb, a session bus of its own, openbox and a system tray (trayer).
#
#   desktop-session.sh [--display N] [--screen WxH] [--keep-dir DIR] -- command args...
#
#   --display N     the X display to use; refused when a server already runs
#                   there. Without it Xvfb picks a free number itself.
#   --screen WxH    the size of the X screen (default 1920x1080). A screen
#                   split into monitors is the command's business
#                   (xrandr --setmonitor).
#   --keep-dir DIR  put the session's folders and logs in DIR and keep them
#                   afterwards (DIR is created; it must be empty or absent).
#
# The command gets fresh HOME, XDG_CONFIG_HOME, XDG_DATA_HOME,
# XDG_CACHE_HOME, XDG_STATE_HOME and XDG_RUNTIME_DIR (mode 0700) under one
# temporary folder, DISPLAY and DBUS_SESSION_BUS_ADDRESS of the session,
# XDG_SESSION_TYPE=x11 and QT_QPA_PLATFORM=xcb; WAYLAND_DISPLAY, XAUTHORITY
# and SESSION_MANAGER are removed. DESKTOP_SESSION_DIR names the folder, whose
# logs/ has the servers' output. The script exits with the command's status.
#
# Why the details matter:
# - Every process of the session (servers, window manager, tray, the command
#   and whatever it starts, also daemons that leave its process group, and
#   services the bus activates) carries TESSARIN_DESKTOP_SESSION=<folder> in
#   its environment. Tear-down ends exactly those processes, by pid, and
#   then checks that none is left; a leftover makes a successful command's
#   status 1. SIGKILL of this script (ctest's timeout kills the whole process
#   tree so) cannot be trapped: a watchdog outside the tree then ends the
#   session's processes within a second and removes its folder.
# - The command runs in a process group of its own, so a command that was
#   interrupted or left children behind is ended as a whole. Being a
#   background group, it cannot read a terminal: run interactive programs in
#   an xterm inside the session.
# - Readiness is waited for, never slept for: the server answers, the window
#   manager has set _NET_SUPPORTING_WM_CHECK, and the tray manager selection
#   _NET_SYSTEM_TRAY_S0 has an owner.
set -u

self_dir=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
openbox_config="$self_dir/../app/openbox-rc.xml"

die() { echo "desktop-session: $*" >&2; exit 2; }
usage() { die "usage: $0 [--display N] [--screen WxH] [--keep-dir DIR] -- command args..."; }

display=
screen=1920x1080
keep_dir=
while [ $# -gt 0 ]; do
    case "$1" in
        --display) [ $# -ge 2 ] || usage; display=$2; shift 2 ;;
        --screen) [ $# -ge 2 ] || usage; screen=$2; shift 2 ;;
        --keep-dir) [ $# -ge 2 ] || usage; keep_dir=$2; shift 2 ;;
        --) shift; break ;;
        *) usage ;;
    esac
done
[ $# -gt 0 ] || usage
case "$display" in *[!0-9]*) die "--display takes a number, got '$display'" ;; esac
[[ "$screen" =~ ^[1-9][0-9]*x[1-9][0-9]*$ ]] || die "--screen takes WIDTHxHEIGHT, got '$screen'"

for tool in Xvfb xdpyinfo xprop dbus-daemon openbox trayer python3; do
    command -v "$tool" >/dev/null || die "$tool missing (./scripts/install-deps.sh installs it)"
done
[ -f "$openbox_config" ] || die "openbox configuration $openbox_config missing"

# True when $1 is a live process whose command line names display :N.
is_server_for_display() {
    local pid=$1 num=$2
    [ -n "$pid" ] && [ -r "/proc/$pid/cmdline" ] || return 1
    tr '\0' '\n' < "/proc/$pid/cmdline" | grep -qx -- ":$num"
}

# A server killed with SIGKILL leaves its lock and socket behind, and Xvfb
# refuses a lock whose pid still exists, even as a zombie that a container's
# init has not reaped yet: such leftovers are removed, a live server is not.
if [ -n "$display" ]; then
    owner=$(tr -dc '0-9' 2>/dev/null < "/tmp/.X$display-lock")
    if is_server_for_display "$owner" "$display"; then
        die "display :$display is in use by pid $owner ($(tr '\0' ' ' < "/proc/$owner/cmdline")); choose another with --display"
    fi
    rm -f "/tmp/.X$display-lock" "/tmp/.X11-unix/X$display" 2>/dev/null \
        || die "cannot remove the stale /tmp/.X$display-lock of a server that is gone"
fi

if [ -n "$keep_dir" ]; then
    mkdir -p "$keep_dir" || die "cannot create $keep_dir"
    [ -z "$(ls -A "$keep_dir")" ] || die "--keep-dir $keep_dir is not empty"
    root=$(cd "$keep_dir" && pwd)
else
    root=$(mktemp -d "${TMPDIR:-/tmp}/desktop-session.XXXXXX") || die "cannot create a temporary folder"
fi
mkdir -p "$root/home" "$root/config" "$root/data" "$root/cache" "$root/state" "$root/runtime" "$root/logs"
chmod 0700 "$root/runtime"

marker="TESSARIN_DESKTOP_SESSION=$root"
session_env=(
    "$marker"
    "DESKTOP_SESSION_DIR=$root"
    "HOME=$root/home"
    "XDG_CONFIG_HOME=$root/config"
    "XDG_DATA_HOME=$root/data"
    "XDG_CACHE_HOME=$root/cache"
    "XDG_STATE_HOME=$root/state"
    "XDG_RUNTIME_DIR=$root/runtime"
    "XDG_SESSION_TYPE=x11"
    "QT_QPA_PLATFORM=xcb"
)
# Replaces the calling (sub)shell with "$@" in the session's environment:
# called as ( in_session ... ), it leaves no shell in between that would
# outlive or report on the program.
in_session() {
    exec env -u WAYLAND_DISPLAY -u XAUTHORITY -u SESSION_MANAGER -u DBUS_SESSION_BUS_PID \
        -u XDG_CURRENT_DESKTOP -u DESKTOP_STARTUP_ID \
        "${session_env[@]}" "$@"
}

# Pids of every process that carries this session's marker.
session_pids() {
    grep -lzxF -- "$marker" /proc/[0-9]*/environ 2>/dev/null \
        | sed -n 's|^/proc/\([0-9]*\)/environ$|\1|p' | grep -vx -- "$$"
}

# True while the process runs; a zombie counts as gone.
running() {
    local state
    state=$(sed -n 's/^[0-9]* (.*) \([A-Za-z]\).*/\1/p' "/proc/$1/stat" 2>/dev/null) || return 1
    [ -n "$state" ] && [ "$state" != Z ]
}

# Sends $1 to the pids given, then waits up to 5 s for them to go.
end_pids() {
    local signal=$1 pid alive
    shift
    [ $# -gt 0 ] || return 0
    kill "-$signal" "$@" 2>/dev/null
    for _ in $(seq 1 100); do
        alive=0
        for pid in "$@"; do running "$pid" && alive=1; done
        [ "$alive" -eq 0 ] && return 0
        sleep 0.05
    done
    return 1
}

command_pgid=
torn_down=0
# Ends the command's group, then everything else of the session (the X
# server last, so clients see their connection close rather than crash on a
# missing server), and reports what would not go. Status 1 when anything is
# left behind.
tear_down() {
    [ "$torn_down" -eq 0 ] || return 0
    torn_down=1
    local pids others leftovers
    if [ -n "$command_pgid" ]; then
        kill -TERM -- "-$command_pgid" 2>/dev/null
    fi
    pids=$(session_pids)
    others=$(echo "$pids" | grep -vx -- "${xvfb_pid:-none}")
    # shellcheck disable=SC2086,SC2046 # pid lists split on purpose
    end_pids TERM $others || end_pids KILL $(session_pids | grep -vx -- "${xvfb_pid:-none}")
    if [ -n "${xvfb_pid:-}" ]; then
        end_pids TERM "$xvfb_pid" || end_pids KILL "$xvfb_pid"
    fi
    leftovers=$(session_pids)
    if [ -z "$keep_dir" ]; then
        rm -rf "$root"
    fi
    if [ -n "$leftovers" ]; then
        echo "desktop-session: processes left behind: $(for p in $leftovers; do printf '%s(%s) ' "$p" "$(cat /proc/$p/comm 2>/dev/null)"; done)" >&2
        return 1
    fi
    return 0
}

fail_start() {
    echo "desktop-session: $*" >&2
    local log
    for log in "$root"/logs/*.log; do
        [ -s "$log" ] && { echo "--- tail $log" >&2; tail -n 15 "$log" >&2; }
    done
    tear_down
    exit 2
}

# Runs detached (its own session, parent init, no standard streams that
# would keep ctest waiting) until this script is gone, then kills what is
# left of the session. After a normal tear-down it finds nothing to do.
start_watchdog() {
    ( setsid bash -c '
        script_pid=$1 marker=$2 root=$3 keep=$4
        alive() { [ -e "/proc/$1" ] && ! grep -q "^State:[[:space:]]*Z" "/proc/$1/status" 2>/dev/null; }
        session_pids() { grep -lzxF -- "$marker" /proc/[0-9]*/environ 2>/dev/null | sed -n "s|^/proc/\([0-9]*\)/environ\$|\1|p"; }
        while alive "$script_pid"; do sleep 0.5; done
        pids=$(session_pids)
        if [ -n "$pids" ]; then
            kill -TERM $pids 2>/dev/null
            for _ in 1 2 3 4 5 6 7 8 9 10; do [ -n "$(session_pids)" ] || break; sleep 0.2; done
            pids=$(session_pids)
            [ -z "$pids" ] || kill -KILL $pids 2>/dev/null
        fi
        [ -n "$keep" ] || rm -rf "$root"
    ' desktop-session-watchdog "$$" "$marker" "$root" "$keep_dir" </dev/null >/dev/null 2>&1 & )
}
start_watchdog

# Exits 128 + the signal's number, as a shell reports a command it killed.
on_signal() {
    echo "desktop-session: interrupted; tearing the session down" >&2
    tear_down
    exit "$1"
}
trap 'on_signal 129' HUP
trap 'on_signal 130' INT
trap 'on_signal 143' TERM

# Waits up to $1 tenths of a second for "$2..." to succeed while pid $xvfb_pid lives.
wait_until() {
    local tenths=$1
    shift
    for _ in $(seq 1 "$tenths"); do
        "$@" >/dev/null 2>&1 && return 0
        running "$xvfb_pid" || return 1
        sleep 0.1
    done
    return 1
}

# --- X server
xvfb_args=(-screen 0 "${screen}x24" -nolisten tcp -noreset)
if [ -n "$display" ]; then
    ( in_session Xvfb ":$display" "${xvfb_args[@]}" ) >"$root/logs/xvfb.log" 2>&1 </dev/null &
    xvfb_pid=$!
else
    # -displayfd: the server takes the first free number and writes it.
    exec 3>"$root/logs/display"
    ( in_session Xvfb -displayfd 3 "${xvfb_args[@]}" ) >"$root/logs/xvfb.log" 2>&1 </dev/null &
    xvfb_pid=$!
    exec 3>&-
    for _ in $(seq 1 200); do
        display=$(tr -dc '0-9' < "$root/logs/display")
        [ -n "$display" ] && break
        running "$xvfb_pid" || break
        sleep 0.1
    done
    [ -n "$display" ] || fail_start "Xvfb did not report its display"
fi
session_env+=("DISPLAY=:$display")
export DISPLAY=":$display"
wait_until 200 xdpyinfo || fail_start "Xvfb on :$display did not answer within 20 s (display taken, or the server failed)"

# --- session bus, listening in the private runtime folder
( in_session dbus-daemon --session --fork --nopidfile --address="unix:path=$root/runtime/bus" \
    --print-address=1 ) >"$root/logs/bus-address" 2>"$root/logs/dbus.log" </dev/null \
    || fail_start "dbus-daemon did not start"
bus_address=$(head -n 1 "$root/logs/bus-address")
[ -n "$bus_address" ] || fail_start "dbus-daemon printed no address"
session_env+=("DBUS_SESSION_BUS_ADDRESS=$bus_address")

# --- window manager
( in_session openbox --sm-disable --config-file "$openbox_config" ) \
    >"$root/logs/openbox.log" 2>&1 </dev/null &
wm_is_running() { xprop -root _NET_SUPPORTING_WM_CHECK | grep -q 'window id'; }
wait_until 200 wm_is_running || fail_start "openbox did not take over the screen within 20 s"

# --- system tray
( in_session trayer --edge bottom --align right --widthtype request --height 24 \
    --transparent false --tint 0x404040 --SetDockType true --SetPartialStrut true ) \
    >"$root/logs/trayer.log" 2>&1 </dev/null &
tray_is_owned() {
    python3 - <<'EOF'
import ctypes, sys
x = ctypes.CDLL("libX11.so.6")
x.XOpenDisplay.restype = ctypes.c_void_p
x.XOpenDisplay.argtypes = [ctypes.c_char_p]
x.XInternAtom.restype = ctypes.c_ulong
x.XInternAtom.argtypes = [ctypes.c_void_p, ctypes.c_char_p, ctypes.c_int]
x.XGetSelectionOwner.restype = ctypes.c_ulong
x.XGetSelectionOwner.argtypes = [ctypes.c_void_p, ctypes.c_ulong]
d = x.XOpenDisplay(None)
if not d:
    sys.exit(2)
sys.exit(0 if x.XGetSelectionOwner(d, x.XInternAtom(d, b"_NET_SYSTEM_TRAY_S0", 0)) else 1)
EOF
}
wait_until 200 tray_is_owned || fail_start "trayer did not take the tray selection _NET_SYSTEM_TRAY_S0 within 20 s"

# --- the command, in a process group of its own
set -m
( in_session "$@" ) &
command_pgid=$!
set +m
wait "$command_pgid"
status=$?
tear_down || { [ "$status" -eq 0 ] && status=1; }
exit "$status"
