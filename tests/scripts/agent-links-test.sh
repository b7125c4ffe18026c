#!/usr/bin/env bash
# The agent program starts for every command, so it links none of the
# desktop application's libraries (the sound, the toolkit, keyboard maps):
# fails naming each one found among the program's NEEDED entries.
#   agent-links-test.sh path/to/tessarin
set -u
program=${1:?usage: $0 path/to/tessarin}
command -v readelf >/dev/null || { echo "readelf missing (binutils)" >&2; exit 2; }
needed=$(readelf -d "$program" | sed -n 's/.*(NEEDED).*\[\(.*\)\]/\1/p') || exit 2
[ -n "$needed" ] || { echo "no NEEDED entries read from $program" >&2; exit 2; }
desktop_only=$(echo "$needed" | grep -E '^lib(canberra|pulse|Qt|xkbcommon|xcb-xkb|X11)' || true)
if [ -n "$desktop_only" ]; then
    echo "the agent program links desktop libraries: $(echo $desktop_only)" >&2
    exit 1
fi
echo "the agent program links: $(echo $needed)"
