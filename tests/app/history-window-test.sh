#!/usr/bin/env bash
# The capture history window in a real session (see desktop-shell-test.sh
# for the session): a seeded history opened from the tray, its cells read
# back as text, its buttons clicked, and what that did to the history, the
# clipboard, the file manager (a stand-in on the session bus) and the
# preferences.
#
#   history-window-test.sh CASE
# shellcheck source=app-test.sh
. "$(dirname "$0")/app-test.sh"

history="${XDG_DATA_HOME:-$work/data}/io.tessarin.Tessarin/History"
# The window's frame, so the cells are where the script expects them.
frame='"windowFrameCaptureHistoryWindow": {"x": 100, "y": 80, "width": 960, "height": 720}'

# open_with ITEM...: the history seeded with ITEMs, the window's frame
# preferred, the application started and the window opened from the tray.
open_with() {
    [ $# = 0 ] || seed "$@"
    prefer "{$frame}"
    launch app
    open_history
    [ $# = 0 ] || shown $#
}

seed() {  # seed ITEM...: the history the application starts with (ids in $work/ids)
    "$(dirname "$0")/seed-history.py" "$history" "$@" >"$work/ids"
}
id_of() { sed -n "$(($1 + 1))p" "$work/ids"; }  # id_of INDEX (newest first)

index_ids() { python3 -c 'import json,sys; print("\n".join(i["id"] for i in json.load(open(sys.argv[1]))["items"]))' "$history/index.json"; }
index_count() { index_ids | grep -c . || true; }

# open_history: the tray's "Open History" row (the fourth from the bottom).
open_history() {
    open_tray_menu 3 1 5 >/dev/null || fail "the tray menu did not open"
    xdotool key Up Up Up Up Return
}

# shown [ITEMS]: waits for the window's first paint (with ITEMS cells) and
# reads where its parts are, as the window logs them: clear_x/y,
# the first cell's button centres (buttons[0..]), the cell pitch and columns.
shown() {
    wait_for "grep -q 'history_window.first_paint items=$1 ' '$work/app.log'" 10 || fail "the history window did not show $1 items"
    local line
    line=$(grep 'history_window.first_paint' "$work/app.log" | tail -n 1)
    field() { sed "s/.* $1=\([^ ]*\).*/\1/" <<<"$line"; }
    IFS=, read -r clear_x clear_y <<<"$(field clear)"
    IFS=';' read -r -a buttons <<<"$(field buttons)"
    IFS=, read -r pitch_x pitch_y <<<"$(field pitch)"
    columns=$(field columns)
    IFS=, read -r badge_x badge_y badge_w badge_h <<<"$(field badges)"
}

# click_button INDEX SLOT: a cell's button (slot 0 Open, 1 Copy, 2 Save,
# 3 "More Actions"), found from the first cell's buttons and the pitch.
click_button() {
    local column=$(($1 % columns)) row=$(($1 / columns)) x y
    IFS=, read -r x y <<<"${buttons[$2]}"
    xdotool mousemove --sync "$((x + column * pitch_x))" "$((y + row * pitch_y))" click 1
}

# more_action INDEX KEYS...: opens the cell's "More Actions" menu and picks
# an entry with KEYS (Annotate, Pin, Reveal in File Manager, Delete: Down
# once, twice, three times, four times).
more_action() {
    local index=$1
    shift
    local before
    before=$(visible_windows)
    click_button "$index" 3
    wait_for "[ \"\$(comm -13 <(echo '$before') <(visible_windows) | grep -c .)\" -ge 1 ]" 5 || fail "the More Actions menu did not open"
    xdotool key "$@" Return
}

# window_text: the window's text, read by the program's own text recognition
# from the window enlarged.
window_text() {
    local id rect
    id=$(xdotool search --onlyvisible --name '^Capture History$' | head -n 1)
    rect=$(xwininfo -id "$id" | awk '/Absolute upper-left X:/{x=$4} /Absolute upper-left Y:/{y=$4}
        /Width:/{w=$2} /Height:/{h=$2} END{print x "," y "," w "," h}') || return 0
    "$TESSARIN" capture-region --rect "$rect" --out "$work/window.png" >/dev/null 2>&1 || return 0
    convert "$work/window.png" -resize 200% "$work/window-large.png"
    "$TESSARIN" capture-text --in "$work/window-large.png" 2>/dev/null || true
}

# badges_of INDEX: the text of a cell's badges: light letters on green
# (Annotated) and blue (Pinned) pills, turned dark on light for reading.
badges_of() {
    local column=$(($1 % columns)) row=$(($1 / columns))
    local x=$((badge_x + column * pitch_x)) y=$((badge_y + row * pitch_y))
    "$TESSARIN" capture-region --rect "$x,$y,$badge_w,$badge_h" --out "$work/badges.png" >/dev/null 2>&1 || return 0
    convert "$work/badges.png" -fuzz 30% -fill black -opaque '#3a9a5b' -fill black -opaque '#2f6fd6' \
        -colorspace gray -threshold 60% -negate -fill white -draw 'color 0,0 floodfill' \
        -draw "color $((badge_w - 1)),$((badge_h - 1)) floodfill" -resize 400% -bordercolor white -border 20 "$work/badges-read.png"
    "$TESSARIN" capture-text --in "$work/badges-read.png" 2>/dev/null | sed 's/.*"text":"\(.*\)"}/\1/'
}
# expect_text TEXT...: each one is in the window. The reading is the test's
# instrument, not what is tested: spaces are ignored (an icon beside a label
# sometimes takes the space before it), and a reading that missed one is
# taken again for a few seconds.
expect_text() {
    local text missing attempt
    for attempt in 1 2 3 4 5; do
        text=$(window_text)
        missing=
        for wanted in "$@"; do
            grep -qiF -- "${wanted// /}" <<<"${text// /}" || { missing=$wanted; break; }
        done
        [ -z "$missing" ] && return 0
        sleep 1
    done
    fail "the window does not read \"$missing\"; it reads: $text"
}

case_lists_captures_with_badges_and_clears() {
    open_with Area:a "Full Screen:p" Window Scrolling:ap
    expect_text "Area Capture" "Full Screen Capture" "Window Capture" "Scrolling Capture" \
        "Pause History" "Clear History" "Copy" "Save"
    [ "$(badges_of 0)" = "Annotated" ] || fail "the area capture's badges read \"$(badges_of 0)\""
    [ "$(badges_of 1)" = "Pinned" ] || fail "the full screen capture's badges read \"$(badges_of 1)\""
    [ -z "$(badges_of 2)" ] || fail "the window capture has badges: $(badges_of 2)"
    [ "$(badges_of 3)" = "Annotated Pinned" ] || fail "the scrolling capture's badges read \"$(badges_of 3)\""
    # A second request raises the same window.
    open_history
    wait_for "grep -q history_window.raised '$work/app.log'" 5 || fail "the second request did not raise the window"
    [ "$(xdotool search --onlyvisible --name '^Capture History$' | wc -l)" = 1 ] || fail "more than one history window"
    # Clear History asks in a window of its own (a cancelled clear is
    # HistoryWindowControllerTest's); Cancel is the default, "Clear History" before it.
    xdotool mousemove --sync "$clear_x" "$clear_y" click 1
    wait_for "xdotool search --onlyvisible --name '^Clear Capture History\\?$'" 10 || fail "Clear History did not ask"
    [ "$(index_count)" = 4 ] || fail "the history was cleared before the answer"
    xdotool key shift+Tab space
    wait_for "grep -q 'clear_answer confirmed=true' '$work/app.log'" 5 || fail "the confirmation was not heard"
    wait_for "[ \"\$(index_count)\" = 0 ]" 10 || fail "the index still lists items (pinned ones too must go)"
    wait_for "! find '$history/images' '$history/thumbnails' -type f | grep -q ." 10 || fail "files stayed after the clear"
    wait_for "window_text | grep -q 'No Capture History'" 5 || fail "the empty state did not show"
}

# Copy, Save and "Reveal in File Manager" (through a stand-in file manager on
# the session bus) on a cell; "Delete" of the other, then "Pin" from "More
# Actions" (the pin last: its window covers the history's). What each action
# does to the history, and the fallback without a file manager, are
# HistoryWindowControllerTest's and FileManagerRevealTest's.
case_cell_actions() {
    "$(dirname "$0")/fake-file-manager.py" "$work/calls" >"$work/file-manager.log" 2>&1 &
    pids+=($!)
    wait_for "bus_owner_pid org.freedesktop.FileManager1" 10 || fail "the stand-in file manager did not start"
    open_with Area Window
    click_button 1 1
    wait_for "xclip -selection clipboard -t TARGETS -o | grep -qx image/png" 10 || fail "Copy put no image on the clipboard"
    xclip -selection clipboard -t image/png -o >"$work/clip.png"
    [ "$(identify -format '%wx%h' "$work/clip.png")" = 800x600 ] || fail "the clipboard image is not the 800x600 capture"
    click_button 1 2
    wait_for "grep -q 'history.action save item=$(id_of 1) result=saved path=' '$work/app.log'" 10 || fail "Save did not save"
    local saved
    saved=$(grep -o 'result=saved path=.*' "$work/app.log" | tail -n 1 | sed 's/result=saved path=//')
    [ "$(identify -format '%wx%h' "$saved")" = 800x600 ] || fail "the saved file $saved is not the capture"
    more_action 1 Down Down Down
    wait_for "grep -q ShowItems '$work/calls'" 10 || fail "the file manager was not asked to show anything"
    [ "$(cat "$work/calls")" = "ShowItems file://$history/images/$(id_of 1).png" ] ||
        fail "the file manager was asked: $(cat "$work/calls")"
    local gone
    gone=$(id_of 0)
    more_action 0 Down Down Down Down
    wait_for "! grep -q '$gone' '$history/index.json'" 10 || fail "the deleted item is still in the index"
    [ "$(index_count)" = 1 ] || fail "Delete removed more than its item"
    wait_for "[ ! -e '$history/images/$gone.png' ] && [ ! -e '$history/thumbnails/$gone.jpg' ]" 10 || fail "its files stayed"
    wait_for "! window_text | grep -q 'Area Capture'" 5 || fail "the deleted area capture is still shown"
    more_action 0 Down Down
    wait_for "grep -q 'history.action pin item=$(id_of 1) result=pinned' '$work/app.log'" 10 || fail "Pin did not pin"
}

# The window opens at its stored frame, a new size is stored and the window
# comes back at it (Pause is HistoryWindowControllerTest's and the store's).
case_frame_is_kept() {
    open_with Area
    local window info
    window=$(xdotool search --onlyvisible --name '^Capture History$' | head -n 1)
    info=$(xwininfo -id "$window")
    [ "$(awk '/Absolute upper-left X:/{x=$4} /Absolute upper-left Y:/{y=$4} /Width:/{w=$2} /Height:/{h=$2} END{print x","y" "w"x"h}' <<<"$info")" = "100,80 960x720" ] ||
        fail "the window is not at its stored frame: $info"
    xdotool windowsize --sync "$window" 700 500
    wait_for "grep -q '\"width\": *700' '$preferences'" 10 || fail "the new size was not stored"
    xdotool windowactivate --sync "$window" key ctrl+w
    wait_for "grep -q history_window.closed '$work/app.log'" 5 || fail "the window did not close"
    open_history
    wait_for "[ \"\$(grep -c 'history_window.first_paint' '$work/app.log')\" = 2 ]" 10 || fail "it did not open again"
    window=$(xdotool search --onlyvisible --name '^Capture History$' | head -n 1)
    [ "$(xwininfo -id "$window" | awk '/Width:/{w=$2} /Height:/{h=$2} END{print w"x"h}')" = 700x500 ] ||
        fail "the window did not come back at its new size: $(xwininfo -id "$window")"
}

run_case "$@"
