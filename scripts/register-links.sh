#!/usr/bin/env bash
# Makes this build the desktop's handler of tessarin: links, for
# development: installs the desktop file (its Exec pointing at the build)
# in the user's applications folder and sets it as the default for
# x-scheme-handler/tessarin. An installed package does the same through its
# own desktop file.
#
#   scripts/register-links.sh [path/to/tessarin]
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
program=$(realpath "${1:-$root/build/src/tessarin}")
[ -x "$program" ] || { echo "register-links: no program at $program (build first)" >&2; exit 1; }
applications="${XDG_DATA_HOME:-$HOME/.local/share}/applications"
mkdir -p "$applications"
sed "s|^Exec=tessarin |Exec=$program |" "$root/data/io.tessarin.Tessarin.desktop" >"$applications/io.tessarin.Tessarin.desktop"
desktop-file-validate "$applications/io.tessarin.Tessarin.desktop"
xdg-mime default io.tessarin.Tessarin.desktop x-scheme-handler/tessarin
update-desktop-database "$applications" 2>/dev/null || true
echo "tessarin: links now open $program"
