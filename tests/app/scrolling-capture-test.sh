#!/usr/bin/env bash
# Scrolling capture in the desktop application, in a real session (see
# desktop-shell-test.sh for the session), over an xterm whose scroll-back
# holds numbered lines: a link with the terminal's area scrolls it to the
# end by itself and Done keeps every line once; a region picked on the
# overlay, scrolled by hand and cancelled keeps nothing.
#
#   scrolling-capture-test.sh CASE
# shellcheck source=app-test.sh
. "$(dirname "$0")/app-test.sh"

history_images="${XDG_DATA_HOME:-$work/data}/io.tessarin.Tessarin/History/images"
lines=300
rows=30

# An xterm of $rows rows showing the top of $lines numbered lines; sets
# X Y WIDTH HEIGHT to its inside.
open_terminal() {
    xsetroot -solid '#2e4a62'
    xterm -T scrolling -geometry "80x$rows+200+200" -sl 1000 -fa 'DejaVu Sans Mono' -fs 10 -bg white -fg black \
        -e sh -c "seq -f '%04g line' $lines; touch '$work/printed'; sleep 600" &
    pids+=($!)
    wait_for "[ -e '$work/printed' ]" 10 || fail "the terminal printed nothing"
    local window
    window=$(xdotool search --sync --onlyvisible --name '^scrolling$' | head -n 1)
    eval "$(xwininfo -id "$window" | sed -n 's/.*Absolute upper-left X: *\([0-9]*\)/X=\1/p;
        s/.*Absolute upper-left Y: *\([0-9]*\)/Y=\1/p; s/.*Width: *\([0-9]*\)/WIDTH=\1/p; s/.*Height: *\([0-9]*\)/HEIGHT=\1/p')"
    xdotool mousemove --sync $((X + WIDTH / 2)) $((Y + HEIGHT / 2))
    for _ in $(seq 60); do xdotool click 4; done  # back to the top of the scroll-back
}

chrome_point() {  # chrome_point done|cancel: where the panel's button is
    sed -n "s/.*scrolling.chrome panel=.* $1=\([0-9]*\),\([0-9]*\).*/\1 \2/p" "$work/app.log" | tail -n 1
}

case_link_scrolls_to_the_end_and_done_keeps_every_line() {
    open_terminal
    launch app
    "$TESSARIN" "tessarin://scrolling-capture?x=$X&y=$Y&width=$WIDTH&height=$HEIGHT&autoscroll=yes" \
        >"$work/link.log" 2>&1 || fail "the link failed"
    wait_for "grep -q 'scrolling.chrome panel=' '$work/app.log'" 10 || fail "the chrome did not show"
    wait_for "grep -q 'scrolling.chrome hint=\"Reached the end — click Done to save.\"' '$work/app.log'" 40 ||
        fail "auto-scroll did not reach the end"
    # shellcheck disable=SC2046
    xdotool mousemove --sync $(chrome_point done) click 1
    wait_for "grep -q 'complete.thumbnail_schedule' '$work/app.log'" 10 || fail "Done completed no capture"
    wait_for "ls '$history_images'/*.png" 10 || fail "no image in the history"
    local image height line
    image=$(ls "$history_images"/*.png | head -n 1)
    read -r _ height < <(identify -format '%w %h\n' "$image")
    # Every line once (and the cursor's empty line): a lost or doubled line
    # changes the height. xterm has a 2-pixel border at the top and bottom.
    line=$(( (HEIGHT - 4) / rows ))
    [ "$height" = $(( (lines + 1) * line + 4 )) ] ||
        fail "the capture is $height pixels tall, not $(( (lines + 1) * line + 4 )) ($((lines + 1)) lines of $line)"
    # Its top is the terminal's top as it was: no chrome was read with it.
    convert "$image" -crop "${WIDTH}x${HEIGHT}+0+0" +repage "$work/top.png"
    xdotool mousemove --sync $((X + WIDTH / 2)) $((Y + HEIGHT / 2))
    for _ in $(seq 60); do xdotool click 4; done
    sleep 0.5
    "$TESSARIN" capture-region --rect "$X,$Y,$WIDTH,$HEIGHT" --out "$work/terminal.png" >/dev/null
    [ "$(compare -metric AE "$work/top.png" "$work/terminal.png" null: 2>&1)" = 0 ] ||
        fail "the capture's top is not the terminal's top"
}

case_picked_area_scrolled_by_hand_and_cancelled_keeps_nothing() {
    open_terminal
    launch app
    "$TESSARIN" "tessarin://scrolling-capture?autoscroll=no" >"$work/link.log" 2>&1 || fail "the link failed"
    wait_for "grep -q overlay.shown '$work/app.log'" 5 || fail "the overlay did not show"
    xdotool mousemove --sync $((X + 10)) $((Y + 10)) mousedown 1 mousemove $((X + 200)) $((Y + 200)) \
        mousemove --sync $((X + WIDTH - 10)) $((Y + HEIGHT - 10)) mouseup 1
    xdotool key Return
    wait_for "grep -q 'scrolling.chrome panel=' '$work/app.log'" 10 || fail "the chrome did not show"
    xdotool mousemove --sync $((X + WIDTH / 2)) $((Y + HEIGHT / 2))
    for _ in $(seq 10); do
        xdotool click 5
        sleep 0.1
    done
    wait_for "grep -q 'scrolling.chrome preview=' '$work/app.log'" 10 || fail "scrolling by hand showed no preview"
    # shellcheck disable=SC2046
    xdotool mousemove --sync $(chrome_point cancel) click 1
    wait_for "grep -q 'scrolling.session end accepted=false' '$work/app.log'" 10 || fail "Cancel did not end the capture"
    sleep 1
    if ls "$history_images"/*.png >/dev/null 2>&1; then fail "a cancelled capture went into the history"; fi
    ! xdotool search --onlyvisible --name '^Tessarin Scrolling Capture$' >/dev/null || fail "the panel stayed"
}

run_case "$@"
