#!/usr/bin/env bash
# The Quick Access thumbnails of the desktop application in a real session
# (see desktop-shell-test.sh for the session): full-screen captures by
# shortcut, then where the thumbnails stand (xwininfo), what the history
# index says of them, what survives a restart and what a drag carries.
#
#   quick-access-test.sh CASE
# shellcheck source=app-test.sh
. "$(dirname "$0")/app-test.sh"

history="$XDG_DATA_HOME/io.tessarin.Tessarin/History"
title='Tessarin Quick Access'

start_app() { start_over_xlogo 300x300+420+330 "${1:-app}"; }

thumbnails() { xdotool search --onlyvisible --name "$title" 2>/dev/null || true; }
thumbnail_count() { thumbnails | wc -l; }

# capture N: the Nth full-screen capture of this run, once its thumbnail is up.
capture() {
    xdotool key shift+Print
    wait_for "[ \"\$(grep -c 'quick_access.front phase=initial' '$work/${2:-app}.log')\" -ge $1 ]" 10 ||
        fail "capture $1 showed no thumbnail"
    # The window is mapped (or moved onto the screen) a turn of the loop
    # after the line is logged.
    wait_for "[ \"\$(grep -c 'quick_access.shown' '$work/${2:-app}.log')\" -ge $1 ]" 10 ||
        fail "capture $1's thumbnail never painted"
}

# origins: "X,Y" of every shown thumbnail, sorted.
origins() {
    for window in $(thumbnails); do
        xwininfo -id "$window" | awk '/Absolute upper-left X/{x=$4} /Absolute upper-left Y/{y=$4} END{print x "," y}'
    done | sort
}

# expected_origins COUNT: the column the work area leaves room for at the
# bottom right (either corner of any frame, and which thumbnails a maximum
# keeps, are QuickAccessStackTest's).
expected_origins() {
    local area x y w h
    area=$(xprop -root _NET_WORKAREA | sed 's/.*= //; s/,//g')
    read -r x y w h _ <<<"$area"
    for ((i = 0; i < $1; i++)); do echo "$((x + w - 236)),$((y + h - 181 - 181 * i))"; done | sort
}

# flags: the history index's isQuickAccess of each item, newest first.
flags() {
    python3 -c 'import json,sys; print(" ".join(str(i.get("isQuickAccess", False)).lower() for i in json.load(open(sys.argv[1]))["items"]))' \
        "$history/index.json" 2>/dev/null
}
flags_are() { wait_for "[ \"\$(flags)\" = '$1' ]" 10 || fail "index flags are '$(flags)', expected '$1'"; }

# The thumbnails keep out of the way of the focus and the stacking, and a
# drag out of one carries its capture as a file.
case_stays_out_of_the_way_and_drags_out() {
    # Drag files go to the temporary folder: the case's own.
    export TMPDIR="$work/tmp"
    mkdir -p "$TMPDIR"
    start_app
    local logo
    logo=$(xdotool search --onlyvisible --class xlogo | head -n 1)
    xdotool windowactivate --sync "$logo"
    capture 1
    local window
    window=$(thumbnails | head -n 1)
    wait_for "xprop -id $window _NET_WM_DESKTOP | grep -q 4294967295" 5 || fail "not on every workspace: $(xprop -id "$window" _NET_WM_DESKTOP)"
    local state
    state=$(xprop -id "$window" _NET_WM_STATE)
    for hint in _NET_WM_STATE_ABOVE _NET_WM_STATE_SKIP_TASKBAR; do
        grep -q "$hint" <<<"$state" || fail "no $hint: $state"
    done
    xprop -id "$window" WM_HINTS | grep -q "input focus: False" || fail "the thumbnail asks for the focus"
    # Shown, raised twice and hovered: the focus stays where it was.
    xdotool mousemove --sync 1790 980
    wait_for "grep -q 'front phase=stabilize' '$work/app.log'" 5 || fail "no second raise"
    [ "$(xdotool getactivewindow)" = "$logo" ] || fail "the thumbnail took the focus from xlogo"
    # Another window raised over it: the thumbnail comes back on top.
    xdotool windowmove --sync "$logo" 1500 700
    xdotool windowraise "$logo"
    wait_for "above '$window' '$logo'" 5 || fail "the thumbnail stayed under the raised xlogo"
    # The next capture takes it off the screen and it comes back.
    capture 2
    wait_for "[ \"\$(thumbnail_count)\" = 2 ]" 10 || fail "$(thumbnail_count) thumbnails after the second capture"
    [ "$(xdotool getactivewindow)" = "$logo" ] || fail "the focus left xlogo after the second capture"
    "$DROP_TARGET" "$work" 200 200 400 300 >"$work/drop.log" 2>&1 &
    pids+=($!)
    wait_for "xdotool search --onlyvisible --name 'Drop Target'" 5 || fail "the drop target did not show"
    local origin x y
    origin=$(origins | head -n 1)
    x=${origin%,*}
    y=${origin#*,}
    # From the thumbnail's lower left, clear of its buttons, across to the target.
    # Each step waits for the application: a busy machine must not let the
    # button go before the drag has started and reached the target.
    xdotool mousemove --sync "$((x + 20))" "$((y + 145))" mousedown 1
    xdotool mousemove --sync "$((x + 10))" "$((y + 135))"
    wait_for "grep -q 'quick_access.drag_start' '$work/app.log'" 10 || fail "the drag did not start"
    for step in 1 2 3 4 5 6 7 8; do
        xdotool mousemove --sync "$((x + 20 - (x - 400) * step / 8))" "$((y + 145 - (y + 145 - 350) * step / 8))"
    done
    xdotool mousemove --sync 402 352
    wait_for "grep -q entered '$work/drop.log'" 10 || fail "the drag did not reach the drop target"
    xdotool mouseup 1
    wait_for "[ -s '$work/dropped-file' ]" 10 || fail "the drop target received no file"
    local file
    file=$(cat "$work/dropped-file")
    [ -f "$file" ] || fail "the dropped file $file does not exist"
    case "$file" in "$TMPDIR"/tessarin-drags-*/Screenshot*.png) ;; *) fail "unexpected drag file $file" ;; esac
    local image same=0
    for image in "$history"/images/*.png; do
        [ "$(compare -metric AE "$file" "$image" null: 2>&1)" = 0 ] && same=1
    done
    [ "$same" = 1 ] || fail "the dragged file differs from the captures"
    cmp -s "$work/dropped-data" "$file" || fail "the dragged image data differs from the file"
    [ "$(thumbnail_count)" = 2 ] || fail "the drag consumed the thumbnail"
}


# top_level WINDOW: the child of the root that holds WINDOW (its frame, when managed).
top_level() {
    local window=$1 parent root
    root=$(xwininfo -root | awk '/Window id:/{print $4}')
    while :; do
        parent=$(xwininfo -tree -id "$window" | awk '/Parent window id:/{print $4}')
        [ "$((parent))" = "$((root))" ] && break
        window=$parent
    done
    echo "$((window))"
}

# above A B: window A is stacked above window B (xwininfo lists the root's
# children top first).
above() {
    local a b order
    a=$(top_level "$1")
    b=$(top_level "$2")
    order=$(xwininfo -root -children | grep -oE '^ +0x[0-9a-f]+' | while read -r id; do echo "$((id))"; done)
    [ "$(grep -nx "$a" <<<"$order" | cut -d: -f1)" -lt "$(grep -nx "$b" <<<"$order" | cut -d: -f1)" ]
}

# click_close: the close button of the newest (topmost) thumbnail.
click_close() {
    local newest x y
    newest=$(origins | sort -t, -k2 -n | head -n 1)
    x=${newest%,*}
    y=${newest#*,}
    xdotool mousemove --sync "$((x + 110))" "$((y + 80))" mousemove --sync "$((x + 19))" "$((y + 19))" click 1
}

case_close_and_restore() {
    prefer '{"quickAccessMaxCount": 5}'
    start_app
    for n in 1 2 3; do capture "$n"; done
    flags_are "true true true"
    local before
    before=$(origins)
    kill -TERM "$app_pid"
    wait "$app_pid" || fail "the application did not quit cleanly"
    # The oldest item's files are damaged meanwhile: its thumbnail cannot come back.
    local oldest
    oldest=$(python3 -c 'import json,sys; print(json.load(open(sys.argv[1]))["items"][-1]["id"])' "$history/index.json")
    echo garbage >"$history/images/$oldest.png"
    echo garbage >"$history/thumbnails/$oldest.jpg"
    launch again
    wait_for "[ \"\$(thumbnail_count)\" = 2 ]" 10 || fail "$(thumbnail_count) thumbnails came back, expected 2"
    wait_for "[ \"\$(origins)\" = \"\$(expected_origins 2)\" ]" 5 || fail "restored at $(origins | tr '\n' ' ')"
    grep -q "quick_access.restore_failed item=$oldest" "$work/again.log" || fail "the damaged item was not reported"
    flags_are "true true false"
    [ "$before" != "$(origins)" ] || fail "the column did not close up"
    click_close
    wait_for "[ \"\$(thumbnail_count)\" = 1 ]" 10 || fail "the close button left $(thumbnail_count) thumbnails"
    flags_are "false true false"
}

run_case "$@"
