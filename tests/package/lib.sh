# Shared by the install and package tests: a private temporary folder with
# HOME and the XDG folders inside it, and small checks that name what failed.
set -u
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
export HOME=$tmp/home XDG_CONFIG_HOME=$tmp/home/.config XDG_DATA_HOME=$tmp/home/.local/share
export XDG_CACHE_HOME=$tmp/home/.cache XDG_STATE_HOME=$tmp/home/.local/state
mkdir -p "$XDG_CONFIG_HOME" "$XDG_DATA_HOME"
unset TESSARIN_MODULE_DIR TESSARIN_SANDBOX_ROOT
export LC_ALL=C.UTF-8

failures=0
fail() {
    echo "FAIL: $*" >&2
    failures=$((failures + 1))
}
finish() {
    [ "$failures" -eq 0 ] || { echo "$failures check(s) failed" >&2; exit 1; }
    echo "ok"
    exit 0
}
require_tool() {
    command -v "$1" >/dev/null || { echo "$1 is missing (scripts/install-deps.sh installs it)" >&2; exit 2; }
}

# A white 400x100 PNG at $1, written without any of our code.
write_blank_png() {
    python3 - "$1" <<'PY'
import struct, sys, zlib
width, height = 400, 100
def chunk(kind, data):
    return struct.pack(">I", len(data)) + kind + data + struct.pack(">I", zlib.crc32(kind + data))
rows = b"".join(b"\0" + b"\xff" * (width * 3) for _ in range(height))
png = b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", struct.pack(">IIBBBBB", width, height, 8, 2, 0, 0, 0))
png += chunk(b"IDAT", zlib.compress(rows)) + chunk(b"IEND", b"")
open(sys.argv[1], "wb").write(png)
PY
}

# Runs the program at $1 from an installed tree: annotate draws a word with
# the drawing module, capture-text reads it back with the text module.
check_program_runs() {
    local program=$1 work=$tmp/run
    mkdir -p "$work"
    write_blank_png "$work/blank.png"
    local version
    version=$("$program" version) || fail "$program version failed"
    [[ $version == tessarin* ]] || fail "version printed \"$version\""
    echo '{"shapes":[{"type":"text","x":20,"y":20,"text":"INSTALLED","fontSize":40,"color":"#000000"}]}' \
        >"$work/spec.json"
    local annotated
    annotated=$("$program" annotate --in "$work/blank.png" --out "$work/marked.png" --shapes "$work/spec.json" 2>&1) ||
        fail "annotate from the installed tree failed: $annotated"
    [ -s "$work/marked.png" ] || fail "annotate wrote no image"
    local text
    text=$("$program" capture-text --in "$work/marked.png" 2>&1) || fail "capture-text from the installed tree failed: $text"
    [[ $text == *INSTALLED* ]] || fail "capture-text read \"$text\", not the word annotate drew"
}
