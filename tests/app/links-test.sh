#!/usr/bin/env bash
# tessarin:// links in a real session (see desktop-shell-test.sh for the
# session): opened by a later start of the program or by xdg-open through
# the desktop file, asked about when the preference says so, and hostile
# file paths refused without a hang.
#
#   links-test.sh CASE
# shellcheck source=app-test.sh
. "$(dirname "$0")/app-test.sh"

desktop_folder="$HOME/Desktop"

start_app() {
    xsetroot -solid '#2e4a62'
    mkdir -p "$desktop_folder"
    launch app
}

# open_link LINK: a later start of the program hands the link over and ends.
open_link() {
    "$TESSARIN" "$1" >>"$work/later.log" 2>&1 || fail "the later start failed"
}

saved_image() {  # saved_image: the one image in the Desktop folder, once written
    # The name is claimed by an empty file first; the image replaces it whole.
    wait_for "identify '$desktop_folder'/*.png" 10 || fail "nothing was saved to the Desktop folder"
    ls "$desktop_folder"/*.png | head -n 1
}

thumbnails() { xdotool search --onlyvisible --name 'Tessarin Quick Access' 2>/dev/null | wc -l; }
size_of() { identify -format '%wx%h' "$1"; }

one_running_copy() {
    kill -0 "$app_pid" 2>/dev/null || fail "the running application is gone"
    [ "$(pgrep -c -f "^$TESSARIN\$")" = 1 ] || fail "more than one application runs: $(pgrep -a -f "$TESSARIN")"
}

case_area_and_full_screen_save_to_the_desktop() {
    start_app
    open_link 'tessarin://capture-area?x=10&y=20&width=300&height=200&action=save'
    local image
    image=$(saved_image)
    [ "$(size_of "$image")" = 300x200 ] || fail "the area image is $(size_of "$image"), not 300x200"
    "$TESSARIN" capture-region --rect 10,20,300,200 --out "$work/agent.png" >/dev/null
    [ "$(compare -metric AE "$image" "$work/agent.png" null: 2>&1)" = 0 ] || fail "the area differs from the agent's"
    one_running_copy
    rm -f "$desktop_folder"/*.png
    open_link 'tessarin://capture-fullscreen?action=save'
    image=$(saved_image)
    local screen
    screen=$(xwininfo -root | awk '/Width:/ { w = $2 } /Height:/ { h = $2 } END { print w "x" h }')
    [ "$(size_of "$image")" = "$screen" ] || fail "the full screen is $(size_of "$image"), the screen $screen"
    one_running_copy
    # A capture link while the area overlay is up is dropped (when a capture
    # is refused is CaptureFlowGuardTest's); the overlay stays.
    rm -f "$desktop_folder"/*.png
    xdotool key Print
    wait_for "grep -q overlay.shown '$work/app.log'" 10 || fail "the overlay did not show"
    open_link 'tessarin://capture-fullscreen?action=save'
    wait_for "grep -q 'capture.ignored' '$work/app.log'" 10 || fail "the link was not dropped"
    xdotool search --onlyvisible --name 'Tessarin Selection' >/dev/null || fail "the link took the overlay away"
    xdotool key Escape
    wait_for "! xdotool search --onlyvisible --name 'Tessarin Selection'" 5 || fail "the overlay stayed"
    [ -z "$(ls "$desktop_folder")" ] || fail "the dropped link saved an image"
}

case_xdg_open_goes_through_the_desktop_file() {
    local applications="$XDG_DATA_HOME/applications"
    mkdir -p "$applications"
    sed "s|^Exec=tessarin |Exec=$TESSARIN |" "$SOURCE_DIR/data/io.tessarin.Tessarin.desktop" >"$applications/io.tessarin.Tessarin.desktop"
    desktop-file-validate "$applications/io.tessarin.Tessarin.desktop" || fail "the desktop file does not validate"
    XDG_UTILS_DEBUG_LEVEL=0 xdg-mime default io.tessarin.Tessarin.desktop x-scheme-handler/tessarin
    [ "$(xdg-mime query default x-scheme-handler/tessarin)" = io.tessarin.Tessarin.desktop ] || fail "not the scheme's handler"
    start_app
    xdg-open 'tessarin://capture-area?x=0&y=0&width=64&height=48&action=save' >>"$work/later.log" 2>&1 || fail "xdg-open failed"
    local image
    image=$(saved_image)
    [ "$(size_of "$image")" = 64x48 ] || fail "the image is $(size_of "$image"), not 64x48"
    one_running_copy
}

case_confirmation_is_asked_and_return_cancels() {
    prefer '{"confirmURLSchemeActions": true}'
    start_app
    open_link 'tessarin://capture-fullscreen?action=save'
    wait_for "xdotool search --onlyvisible --name 'Allow this Tessarin action'" 10 || fail "no question was asked"
    [ -z "$(ls "$desktop_folder")" ] || fail "something was saved before the answer"
    # Return is the key a user typing elsewhere would press: it must cancel.
    xdotool key Return
    wait_for "grep -q 'link.confirmation allowed=false' '$work/app.log'" 10 || fail "Return did not answer"
    wait_for "! xdotool search --onlyvisible --name 'Allow this Tessarin action'" 5 || fail "the question stayed"
    [ -z "$(ls "$desktop_folder")" ] || fail "a refused link saved an image"
    # Allowed with the button: the capture runs once the question is gone.
    open_link 'tessarin://capture-area?x=5&y=5&width=40&height=30&action=save'
    wait_for "xdotool search --onlyvisible --name 'Allow this Tessarin action'" 10 || fail "no second question"
    xdotool key Tab Return  # Cancel has the focus; Tab reaches Allow
    local image
    image=$(saved_image)
    [ "$(size_of "$image")" = 40x30 ] || fail "the allowed capture is $(size_of "$image")"
}

case_hostile_files_and_unknown_links_warn_and_never_hang() {
    start_app
    mkfifo "$work/fifo"
    open_link "tessarin://pin?filepath=$work/fifo"
    open_link 'tessarin://pin?filepath=/dev/zero'
    open_link 'tessarin://pin?filepath=relative.png'
    open_link 'tessarin://pin?filepath=/tmp/x%00.png'
    open_link 'tessarin://open-annotate?filepath=/nonexistent/%1B.png'
    wait_for "[ \$(grep -c 'alert.warning title=Pin failed' '$work/app.log') -ge 4 ]" 15 || fail "not every bad path was warned about"
    wait_for "grep -q 'alert.warning title=Annotate failed' '$work/app.log'" 10 || fail "the missing file was not warned about"
    open_link 'tessarin://no-such-command'
    wait_for "grep -q 'alert.warning title=Unsupported URL' '$work/app.log'" 10 || fail "no Unsupported URL warning"
    open_link 'tessarin://capture-area?x=0&y=0&width=0&height=10&action=save'
    wait_for "[ \$(grep -c 'alert.warning title=Unsupported URL' '$work/app.log') -ge 2 ]" 10 || fail "an empty region was not refused"
    [ -z "$(ls "$desktop_folder")" ] || fail "an empty region saved an image"
    # Still answering: a capture link runs.
    open_link 'tessarin://capture-area?x=0&y=0&width=32&height=32&action=save'
    saved_image >/dev/null
    one_running_copy
}

# A file opened as a thumbnail, as a pin and as text; the file itself is only read.
case_quick_access_pin_and_text_from_a_file() {
    start_app
    "$TESSARIN" capture-region --rect 0,0,160,120 --out "$work/picture.png" >/dev/null
    local before
    before=$(md5sum <"$work/picture.png")
    open_link "tessarin://add-quick-access-overlay?filepath=$work/picture.png"
    wait_for "xdotool search --onlyvisible --name 'Tessarin Quick Access'" 10 || fail "no thumbnail was shown"
    local index="${XDG_DATA_HOME:-$HOME/.local/share}/io.tessarin.Tessarin/History/index.json"
    wait_for "python3 -c 'import json,sys; sys.exit(0 if any(i.get(\"isQuickAccess\") for i in json.load(open(sys.argv[1]))[\"items\"]) else 1)' '$index'" 10 ||
        fail "the history has no Quick Access item"
    open_link "tessarin://pin?filepath=$work/picture.png"
    wait_for "xdotool search --onlyvisible --name '^Tessarin Pin '" 10 || fail "no pin was shown"
    [ "$(md5sum <"$work/picture.png")" = "$before" ] || fail "the named file changed"
    # The text of a file in the result window (a picture without text is
    # OCRResultWindowTest's).
    convert -size 640x120 xc:white -fill black -font DejaVu-Sans -pointsize 44 -annotate +24+78 'Hello Tessarin' \
        "$work/words.png"
    open_link "tessarin://capture-text?filepath=$work/words.png"
    wait_for "xdotool search --onlyvisible --name '^OCR Result\$'" 30 || fail "no result window: $(tail -n 5 "$work/app.log")"
    grep -q 'ocr.result_window characters=14' "$work/app.log" || fail "not the text's 14 characters: $(grep ocr "$work/app.log")"
}

# canvas_on_screen COLOUR: the screen rectangle ("WxH+X+Y") showing COLOUR.
canvas_on_screen() {
    screenshot "$work/screen.png"
    convert "$work/screen.png" -fill black +opaque "$1" -fill white -opaque "$1" -trim -format '%wx%h%X%Y' info:
}

# The output action "annotate": the editor opens on the capture, and Done
# writes the edit over the capture's history item. Then a file opened in
# the editor, drawn on, saved as, and Done: the edit becomes a capture.
case_annotate_a_capture_and_a_file() {
    start_app
    open_link 'tessarin://capture-area?x=10&y=20&width=300&height=200&action=annotate'
    wait_for "xdotool search --onlyvisible --name '^Annotate\$'" 15 || fail "no editor window"
    local index="${XDG_DATA_HOME:?}/io.tessarin.Tessarin/History/index.json"
    wait_for "[ -s '$index' ]" 10 || fail "the capture was not recorded"
    xdotool key ctrl+Return
    wait_for "! xdotool search --onlyvisible --name '^Annotate\$'" 10 || fail "Done left the editor open"
    wait_for "python3 -c 'import json,sys; items = json.load(open(sys.argv[1]))[\"items\"]; sys.exit(not (len(items) == 1 and items[0][\"isAnnotated\"]))' '$index'" 10 ||
        fail "the history item was not marked annotated: $(cat "$index")"
    local thumbnails_before
    thumbnails_before=$(thumbnails)
    convert -size 300x200 xc:'#4070a0' "$work/plain.png"
    open_link "tessarin://open-annotate?filepath=$work/plain.png"
    wait_for "xdotool search --onlyvisible --name '^Annotate\$'" 15 || fail "no editor window"
    local x y
    wait_for "[ \"\$(canvas_on_screen '#4070a0' | cut -d+ -f1)\" = 300x200 ]" 10 || fail "the canvas is not on the screen whole"
    IFS='x+' read -r _ _ x y <<<"$(canvas_on_screen '#4070a0')"
    # The rectangle tool by its key, then a box from (60, 50) to (240, 150) of the image.
    xdotool key r
    xdotool mousemove --sync $((x + 60)) $((y + 50)) mousedown 1
    for step in 1 2 3 4 5 6; do xdotool mousemove --sync $((x + 60 + step * 30)) $((y + 50 + step * 50 / 3)); done
    xdotool mouseup 1
    wait_for "grep -q 'editor.changed annotations=1' '$work/app.log'" 10 || fail "no box was drawn"
    xdotool key Escape  # deselects: the handles leave the canvas
    xdotool key ctrl+s
    wait_for "xdotool search --onlyvisible --name '^Save As\$'" 10 || fail "no Save As dialog"
    xdotool key ctrl+a
    xdotool type --delay 5 "$work/marked.png"
    xdotool key Return
    wait_for "identify '$work/marked.png'" 10 || fail "nothing was saved"
    [ "$(identify -format '%wx%h' "$work/marked.png")" = 300x200 ] || fail "the saved image is $(identify -format '%wx%h' "$work/marked.png")"
    # The box's left edge is drawn in the tool's red; its inside keeps the picture.
    local edge inside
    edge=$(convert "$work/marked.png" -format '%[fx:int(255*p{60,100}.r)] %[fx:int(255*p{60,100}.g)]' info:)
    inside=$(convert "$work/marked.png" -format '%[hex:p{150,100}]' info:)
    read -r red green <<<"$edge"
    [ "$red" -gt 200 ] && [ "$green" -lt 120 ] || fail "the box's edge is $edge"
    [ "${inside:0:6}" = 4070A0 ] || fail "the inside of the box is $inside"
    # Done: the edit of a file becomes a capture with its thumbnail.
    xdotool key ctrl+Return
    wait_for "! xdotool search --onlyvisible --name '^Annotate\$'" 10 || fail "Done left the editor open"
    wait_for "[ \"\$(thumbnails)\" -gt $thumbnails_before ]" 10 || fail "no thumbnail of the edit"
    wait_for "python3 -c 'import json,sys; items = json.load(open(sys.argv[1]))[\"items\"]; sys.exit(not (len(items) == 2 and all(i[\"pixelWidth\"] == 300 for i in items)))' '$index'" 10 ||
        fail "the edit was not recorded: $(cat "$index" 2>/dev/null)"
}

run_case "$@"
