#!/usr/bin/env bash
# Record Video in the desktop application in a real session (see
# desktop-shell-test.sh for the session): the overlay, the frame and panel,
# stopping by a second press, the movie on the Desktop, the video thumbnail
# and its Save As, and the editor's trim and 720p export.
#
#   recording-flow-test.sh CASE
# shellcheck source=app-test.sh
. "$(dirname "$0")/app-test.sh"

desktop="$HOME/Desktop"
area=(300 240 960 600)  # x y width height: larger than 720p, to see the export shrink it

start_app() { start_over_xlogo 200x200+500+400 app; }

# activate ACTION: the tray row's action, as org.freedesktop.Application.ActivateAction.
activate() {
    gdbus call --session --dest io.tessarin.Tessarin --object-path /io/tessarin/Tessarin \
        --method org.freedesktop.Application.ActivateAction "$1" "[]" "{}" >/dev/null ||
        fail "ActivateAction $1 failed"
}

select_area() {
    local x=${area[0]} y=${area[1]}
    xdotool mousemove --sync "$x" "$y" mousedown 1 mousemove "$((x + 100))" "$((y + 100))" \
        mousemove --sync "$((x + area[2]))" "$((y + area[3]))" mouseup 1
}
started() { wait_for "grep -q 'recording_flow.panel' '$work/app.log'" 10 || fail "the recording did not start"; }

# select_and_record START_COMMAND: opens the overlay, selects the area, starts.
select_and_record() {
    "$@"
    wait_for "grep -q overlay.shown '$work/app.log'" 10 || fail "the overlay did not show"
    select_area
    xdotool key Return
    started
    local x=${area[0]} y=${area[1]}
    # Something moves inside the area while it records.
    xdotool mousemove "$((x + 200))" "$((y + 200))"
}

# stop_recording STOP_COMMAND: prints the movie's path once it is finished.
stop_recording() {
    "$@"
    wait_for "grep -q 'recording_flow.recorded file=' '$work/app.log'" 15 || fail "the recording did not finish"
    grep -o 'recording_flow.recorded file=.*' "$work/app.log" | head -n 1 | sed 's/^recording_flow.recorded file=//'
}

probe() {  # probe FILE ENTRY: one value of the video stream
    ffprobe -v error -select_streams v:0 -show_entries "stream=$2" -of csv=p=0 "$1"
}

duration_of() { ffprobe -v error -show_entries format=duration -of csv=p=0 "$1"; }

# check_movie FILE: a movie of the area, at least two seconds, without our chrome.
check_movie() {
    local movie=$1
    [ -f "$movie" ] || fail "no movie at $movie"
    [[ "$movie" == "$desktop"/Recording\ *.mov ]] || fail "the movie is not named as a recording on the Desktop: $movie"
    [ "$(probe "$movie" codec_name)" = h264 ] || fail "the movie is not H.264"
    [ "$(probe "$movie" width),$(probe "$movie" height)" = "${area[2]},${area[3]}" ] ||
        fail "the movie is $(probe "$movie" width)x$(probe "$movie" height), not the area"
    python3 -c "import sys; sys.exit(0 if float('$(duration_of "$movie")') >= 2.0 else 1)" ||
        fail "the movie is shorter than 2 s"
    # Nothing of ours inside the frames: the last frame's edges match the
    # screen under them, read after the chrome has gone.
    ffmpeg -v error -sseof -0.5 -i "$movie" -frames:v 1 -y "$work/last.png" || fail "no last frame"
    "$TESSARIN" capture-region --rect "${area[0]},${area[1]},${area[2]},${area[3]}" --out "$work/screen.png" >/dev/null
    local edge
    for edge in "${area[2]}x6+0+0" "${area[2]}x6+0+$((area[3] - 6))" "6x${area[3]}+0+0" "6x${area[3]}+$((area[2] - 6))+0"; do
        convert "$work/last.png" -crop "$edge" +repage "$work/a.png"
        convert "$work/screen.png" -crop "$edge" +repage "$work/b.png"
        local error
        error=$( (compare -metric RMSE "$work/a.png" "$work/b.png" null: 2>&1 || true) | sed -n 's/.*(\(.*\)).*/\1/p')
        python3 -c "import sys; sys.exit(0 if float('$error') < 0.06 else 1)" ||
            fail "the movie's edge $edge differs from the screen (RMSE $error): chrome in the recording?"
    done
}

thumbnail_window() { xdotool search --onlyvisible --name 'Recording .*\.mov' | head -n 1; }

# open_editor: the video thumbnail's poster (its play/edit button) opens the
# editor, which gets the focus.
open_editor() {
    wait_for "test -n \"\$(thumbnail_window)\"" 10 || fail "no video thumbnail"
    eval "$(xdotool getwindowgeometry --shell "$(thumbnail_window)")"
    xdotool mousemove --sync "$((X + WIDTH / 2))" "$((Y + 60))" click 1
    wait_for "xdotool search --onlyvisible --name '^Edit Video'" 10 || fail "the editor did not open"
    local editor
    editor=$(xdotool search --onlyvisible --name '^Edit Video' | head -n 1)
    xdotool windowactivate --sync "$editor" 2>/dev/null || xdotool windowfocus --sync "$editor"
}

# origin WINDOW: "X,Y" of its top-left corner.
origin() { xwininfo -id "$1" | awk '/Absolute upper-left X/{x=$4} /Absolute upper-left Y/{y=$4} END{print x "," y}'; }

case_menu_action_records() {
    start_app
    # A capture's thumbnail first: the recording's joins its column.
    xdotool key shift+Print
    wait_for "grep -q 'quick_access.front phase=initial' '$work/app.log'" 10 || fail "the capture showed no thumbnail"
    local capture_thumb
    capture_thumb=$(xdotool search --onlyvisible --name 'Tessarin Quick Access' | head -n 1)
    select_and_record activate recordVideo
    # Frame and panel are on the screen, outside the area.
    local ring
    "$TESSARIN" capture-full --out "$work/full.png" >/dev/null
    ring=$(convert "$work/full.png" -crop "1x1+$((area[0] - 1))+$((area[1] + 50))" -format '%[pixel:p{0,0}]' info:)
    [[ "$ring" == *"235,64,52"* ]] || fail "no frame line just outside the area (found $ring)"
    sleep 3  # the length of the recording, not a wait for anything
    local movie
    movie=$(stop_recording activate recordVideo)
    check_movie "$movie"
    wait_for "test -n \"\$(thumbnail_window)\"" 10 || fail "no video thumbnail"
    local below above
    below=$(origin "$capture_thumb")
    above=$(origin "$(thumbnail_window)")
    [ "$above" = "${below%,*},$((${below#*,} - 181))" ] ||
        fail "the video thumbnail is at $above, not one slot above the capture's at $below"
    grep -q 'app.recording=false\|recording_flow.finished discard=0 kept=1' "$work/app.log" || fail "the flow did not end"
    # "Save As" is the middle one of the three buttons along the thumbnail's bottom.
    eval "$(xdotool getwindowgeometry --shell "$(thumbnail_window)")"
    xdotool mousemove --sync "$((X + WIDTH / 2))" "$((Y + HEIGHT - 16))" click 1
    wait_for "xdotool search --onlyvisible --name '^Save As'" 10 || fail "no save dialog"
    xdotool windowactivate --sync "$(xdotool search --onlyvisible --name '^Save As' | head -n 1)" 2>/dev/null || true
    mkdir -p "$work/copies"
    xdotool key ctrl+a type --delay 20 "$work/copies/Clip"
    xdotool key Return
    wait_for "grep -q 'recording_flow.saved_copy' '$work/app.log'" 10 || fail "the copy was not saved"
    cmp -s "$movie" "$work/copies/Clip.mov" || fail "the copy differs from the recording"
    [ "$(ls -A "$work/copies")" = Clip.mov ] || fail "the copy left other files: $(ls -A "$work/copies")"
}

case_shortcut_records_and_edits() {
    prefer '{"KeyboardShortcuts_recordVideo": "Ctrl+Alt+r"}'
    start_app
    select_and_record xdotool key ctrl+alt+r
    sleep 3  # the length of the recording
    local movie
    movie=$(stop_recording xdotool key ctrl+alt+r)
    check_movie "$movie"
    open_editor
    # Trim to 0.5 s - 1.5 s with the strip's keys, pick 720p, export.
    xdotool key --delay 60 Right Right Right Right Right i shift+Right o
    xdotool key alt+s 7 alt+e
    wait_for "grep -q 'video_editor.export ' '$work/app.log'" 30 || fail "the export did not finish"
    grep -q 'video_editor.export failed' "$work/app.log" && fail "the export failed: $(grep 'video_editor.export' "$work/app.log")"
    local exported
    exported=$(grep -o 'video_editor.export file=.*' "$work/app.log" | sed 's/^video_editor.export file=//')
    [ "$exported" = "${movie%.mov} Edited.mov" ] || fail "the export is named '$exported'"
    [ "$(probe "$exported" width),$(probe "$exported" height)" = "720,450" ] ||
        fail "the export is $(probe "$exported" width)x$(probe "$exported" height), not 720p"
    python3 -c "import sys; d = float('$(duration_of "$exported")'); sys.exit(0 if 0.8 <= d <= 1.3 else 1)" ||
        fail "the export lasts $(duration_of "$exported") s, not the trimmed second"
}

case_all_in_one_hands_over_and_quit_keeps_it() {
    prefer '{"KeyboardShortcuts_captureAllInOne": "Ctrl+Alt+a", "capturePresetsEnabled": false}'
    start_app
    xdotool key ctrl+alt+a
    wait_for "grep -q overlay.shown '$work/app.log'" 10 || fail "the All-in-One overlay did not show"
    xdotool mousemove --sync 400 300 mousedown 1 mousemove 550 400 mousemove --sync 700 500 mouseup 1
    local record
    record=$(toolbar_button "$work/app.log" record) || fail "the toolbar offers no record button"
    xdotool mousemove --sync $record click 1
    # The recording asks for its own area, with its own overlay.
    wait_for "test \"\$(grep -c overlay.shown '$work/app.log')\" -ge 2" 10 || fail "no recording overlay after the switch"
    select_area
    xdotool key Return
    started
    sleep 2  # the length of the recording
    # Quitting while it records keeps a finished movie.
    kill -TERM "$app_pid"
    wait_for "! kill -0 $app_pid" 15 || fail "the application did not quit"
    local movie
    movie=$(ls "$desktop"/Recording\ *.mov 2>/dev/null | head -n 1)
    [ -n "$movie" ] || fail "quitting threw the recording away"
    python3 -c "import sys; sys.exit(0 if float('$(duration_of "$movie")') >= 1.0 else 1)" ||
        fail "the kept movie is not a finished movie"
}

# A private PulseAudio server whose null sink's monitor is the default input.
start_pulse() {
    export PULSE_SERVER="unix:$work/pulse.sock"
    pulseaudio -n --daemonize=no --exit-idle-time=-1 --disable-shm=yes \
        "--load=module-native-protocol-unix socket=$work/pulse.sock auth-anonymous=1" \
        "--load=module-null-sink sink_name=tone rate=44100" >"$work/pulse.log" 2>&1 &
    pids+=($!)
    wait_for "pactl set-default-source tone.monitor" 10 || fail "pulseaudio did not start"
}

# toolbar_left ROW: the first column of ROW that differs from its first
# pixel (the toolbar's left edge); fails while the row is plain.
toolbar_left() {
    "$TESSARIN" capture-full --out "$work/overlay.png" >/dev/null
    convert "$work/overlay.png" -crop "1920x1+0+$1" +repage -depth 8 txt:- | python3 -c '
import sys
pixels = [line.split()[2] for line in sys.stdin if not line.startswith("#")]
edge = next((i for i, p in enumerate(pixels) if p != pixels[0]), None)
sys.exit(1) if edge is None else print(edge)'
}

# select_with_microphone: the recording overlay over the area, its
# microphone switch turned on, started.
select_with_microphone() {
    activate recordVideo
    wait_for "grep -q overlay.shown '$work/app.log'" 10 || fail "the overlay did not show"
    select_area
    local x=${area[0]} y=${area[1]}
    # The toolbar is centred 12 px under the area, 44 px high: the switch is
    # its first item, 24 px from its left edge, found on the screen.
    local row=$((y + area[3] + 12 + 22)) left
    wait_for "toolbar_left $row >'$work/left'" 5 || fail "no toolbar under the area"
    left=$(cat "$work/left")
    xdotool mousemove --sync "$((left + 24))" "$row" click 1
    xdotool key Return
    started
}

audio_codec() { ffprobe -v error -select_streams a:0 -show_entries stream=codec_name -of csv=p=0 "$1"; }

# With a compositor the rest of the display is dimmed around the frame; the
# recorded area is not, the dim takes no clicks, and it goes with the
# recording. The microphone's sound is in the movie and the editor plays it.
case_compositor_dims_outside_and_microphone_records_sound() {
    xcompmgr >/dev/null 2>&1 &
    pids+=($!)
    # It owns the compositing selection through a window of its name.
    wait_for "xwininfo -root -children | grep -q xcompmgr" 5 || fail "xcompmgr did not start"
    start_pulse
    start_app
    select_with_microphone
    grep -q 'microphone=1' "$work/app.log" || fail "the microphone switch did not reach the recording"
    wait_for "grep -q 'recording_flow.dim' '$work/app.log'" 10 || fail "nothing was dimmed with a compositor running"
    local screen
    screen=$(xwininfo -root | awk '/Width:/ { w = $2 } /Height:/ { h = $2 } END { print w "x" h }')
    # Looked up afresh each try: the dim may be remade while the recording starts.
    dim_window() { xdotool search --onlyvisible --name '^Tessarin Recording Dim$' | head -n 1; }
    dim_size() { xwininfo -id "$(dim_window)" | awk '/Width:/ { w = $2 } /Height:/ { h = $2 } END { print w "x" h }'; }
    wait_for '[ "$(dim_size)" = "$screen" ]' 10 || fail "the dim does not cover the display: $(dim_size)"
    # Clicks outside the area reach the window underneath.
    [ "$(xdotool mousemove --sync 20 20 getmouse --shell | sed -n 's/^WINDOW=//p')" != "$(dim_window)" ] ||
        fail "the dim window takes the pointer"
    sleep 2  # the length of the recording
    local movie
    movie=$(stop_recording activate recordVideo)
    check_movie "$movie"
    wait_for "! xdotool search --onlyvisible --name '^Tessarin Recording Dim$'" 5 || fail "the dim stayed after the recording"
    [ "$(audio_codec "$movie")" = aac ] || fail "no AAC sound track in $movie"
    grep -q 'Microphone Access Denied' "$work/app.log" && fail "the microphone was reported denied"
    # The editor's preview plays that sound into the server, and stops it on pause.
    open_editor
    xdotool key space
    wait_for "grep -q 'video_editor.play from=.* sound=1' '$work/app.log'" 10 ||
        fail "the preview plays without sound: $(grep 'video_editor' "$work/app.log")"
    wait_for "pactl list sink-inputs | grep -q 'Video preview'" 10 || fail "no preview stream on the sound server"
    xdotool key space
    wait_for "grep -q 'video_editor.pause' '$work/app.log'" 10 || fail "the preview did not pause"
    wait_for "! pactl list sink-inputs | grep -q 'Video preview'" 10 || fail "the preview's sound went on after the pause"
}

run_case "$@"
