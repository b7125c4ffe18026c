#!/usr/bin/env bash
# With no display, a desktop start fails at once with one line on standard
# error and status 1, and never loads the Qt module.
set -u
program=$1
status=0
output=$("$program" 2>&1 >/dev/null) || status=$?
[ "$status" = 1 ] || { echo "status $status, expected 1"; exit 1; }
[ "$(printf '%s\n' "$output" | wc -l)" = 1 ] || { echo "expected one line, got: $output"; exit 1; }
case "$output" in
    *"no display"*) ;;
    *) echo "the line does not say why: $output"; exit 1 ;;
esac
echo "PASS: $output"
