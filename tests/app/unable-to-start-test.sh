#!/usr/bin/env bash
# A desktop start that cannot run fails at once with one line on standard
# error and status 1: with no display (before Qt is loaded), and with a
# display but without the desktop module beside the program.
set -u
program=$1

# expect_one_line WHAT TEXT command...: status 1 and one line containing TEXT
expect_one_line() {
    local what=$1 text=$2 status=0 output
    shift 2
    output=$("$@" 2>&1 >/dev/null) || status=$?
    [ "$status" = 1 ] || { echo "$what: status $status, expected 1"; exit 1; }
    [ "$(printf '%s\n' "$output" | wc -l)" = 1 ] || { echo "$what: expected one line, got: $output"; exit 1; }
    case "$output" in
        *"$text"*) echo "ok, $what: $output" ;;
        *) echo "$what: the line does not say '$text': $output"; exit 1 ;;
    esac
}

expect_one_line "no display" "no display" env -u DISPLAY -u WAYLAND_DISPLAY "$program"

alone=$(mktemp -d)
trap 'rm -rf "$alone"' EXIT
cp "$program" "$alone/tessarin"
expect_one_line "no module" "libtessarin-desktop.so" \
    env -u TESSARIN_MODULE_DIR DISPLAY=:0 "$alone/tessarin"
