#!/usr/bin/env bash
# Installs the build tree into a temporary prefix (cmake --install) and
# checks the installed tree as a user meets it: the program runs from there
# and loads its modules, the desktop entry, icons and metainfo validate, the
# manual page renders and documents every command, flag, exit status and
# environment variable, and each shell's completion offers every command.
#   install-test.sh <build dir> <source dir> <case>
# Cases: program, capture_on_x (needs DISPLAY), desktop_files, manual,
# environment_documented, bash, zsh, fish.
here=$(cd "$(dirname "$0")" && pwd)
source "$here/lib.sh"
build=${1:?usage: $0 <build dir> <source dir> <case>}
source_dir=${2:?}
case_name=${3:?}
prefix=$tmp/prefix
cmake --install "$build" --prefix "$prefix" >/dev/null || { echo "cmake --install failed" >&2; exit 1; }
program=$prefix/bin/tessarin
multiarch=$(gcc -print-multiarch 2>/dev/null || true)
module_folder=$prefix/lib/${multiarch:+$multiarch/}tessarin
man_page=$prefix/share/man/man1/tessarin.1.gz

# The command words, read from the installed program's usage text.
commands=$("$program" help | sed -n '/^COMMANDS$/,/^$/p' | sed -n 's/^  \([a-z][a-z-]*\)\( .*\)\{0,1\}$/\1/p')
[ "$(echo "$commands" | wc -l)" -ge 10 ] || { echo "could not read the commands from the usage text" >&2; exit 1; }

# $1 offered (one per line) must hold every word of $2.
expect_all() {
    local offered=$1 expected=$2 what=$3 word
    for word in $expected; do
        grep -qxF -- "$word" <<<"$offered" || fail "$what does not offer $word"
    done
}

case $case_name in
program)
    for module in annotation ocr media desktop; do
        [ -f "$module_folder/libtessarin-$module.so" ] || fail "module $module not in $module_folder"
    done
    check_program_runs "$program"
    "$source_dir/tests/scripts/agent-links-test.sh" "$program" >/dev/null || fail "the installed program links desktop libraries"
    # Moved elsewhere, the tree still works: the modules are found relative to the program.
    mv "$prefix" "$tmp/moved"
    prefix=$tmp/moved
    check_program_runs "$prefix/bin/tessarin"
    # Without its modules, annotate says where it looked, and fails.
    mv "$prefix/lib" "$prefix/lib.away"
    write_blank_png "$tmp/blank.png"
    error=$(echo '{"shapes":[]}' | "$prefix/bin/tessarin" annotate --in "$tmp/blank.png" --out "$tmp/x.png" 2>&1 >/dev/null)
    status=$?
    [ "$status" -eq 1 ] || fail "annotate without its module exited $status"
    error=${error//\\\//\/}  # JSON writes / as \/
    [[ $error == *"lib/${multiarch:+$multiarch/}tessarin"* ]] || fail "the missing-module error does not name the folder: $error"
    [ ! -e "$tmp/x.png" ] || fail "annotate without its module wrote an image"
    ;;
capture_on_x)
    # The installed program links the system's shared X libraries: it still
    # reaches the server, captures and lists.
    [ -n "${DISPLAY:-}" ] || { echo "needs DISPLAY (run through ctest)" >&2; exit 2; }
    result=$("$program" capture-full --out "$tmp/full.png" 2>&1) || fail "capture-full failed: $result"
    [[ $result == *'"width":'* ]] || fail "capture-full printed $result"
    dimensions=$(python3 -c 'import struct,sys; d=open(sys.argv[1],"rb").read(24); print(*struct.unpack(">II", d[16:24]))' \
        "$tmp/full.png" 2>/dev/null)
    [ -n "$dimensions" ] && [ "$dimensions" != "0 0" ] || fail "capture-full wrote no image"
    targets=$("$program" list-targets 2>&1) || fail "list-targets failed: $targets"
    [[ $targets == *'"displays"'* ]] || fail "list-targets printed $targets"
    ;;
desktop_files)
    require_tool desktop-file-validate
    require_tool appstreamcli
    desktop_file=$prefix/share/applications/io.tessarin.Tessarin.desktop
    desktop-file-validate "$desktop_file" || fail "desktop-file-validate rejects the desktop entry"
    grep -qx 'MimeType=x-scheme-handler/tessarin;' "$desktop_file" || fail "the desktop entry does not claim tessarin: links"
    metainfo=$prefix/share/metainfo/io.tessarin.Tessarin.metainfo.xml
    appstreamcli validate --no-net "$metainfo" || fail "appstreamcli rejects the metainfo"
    appstreamcli validate-tree --no-net "$prefix" || fail "appstreamcli rejects the installed tree"
    version=$("$program" version)
    grep -q "<release version=\"${version#tessarin }\"" "$metainfo" ||
        grep -q "<release version=\"$(echo "$version" | sed 's/^tessarin \([^ ]*\).*/\1/')\"" "$metainfo" ||
        fail "the metainfo's release is not the program's version ($version)"
    [ -f "$prefix/share/icons/hicolor/scalable/apps/io.tessarin.Tessarin.svg" ] || fail "no scalable icon"
    for size in 16 22 24 32 48 64 128 256 512; do
        icon=$prefix/share/icons/hicolor/${size}x${size}/apps/io.tessarin.Tessarin.png
        if [ ! -f "$icon" ]; then
            fail "no ${size}x${size} icon"
            continue
        fi
        dimensions=$(python3 -c 'import struct,sys; d=open(sys.argv[1],"rb").read(24); print(*struct.unpack(">II", d[16:24]))' "$icon")
        [ "$dimensions" = "$size $size" ] || fail "the ${size}x${size} icon is $dimensions"
    done
    [ -f "$prefix/share/doc/tessarin/LICENSE" ] || fail "no licence in share/doc/tessarin"
    ;;
manual)
    require_tool man
    require_tool lexgrog
    [ -f "$man_page" ] || { fail "no manual page at $man_page"; finish; }
    warnings=$tmp/man-warnings
    page=$(MANWIDTH=100 man --warnings -l "$man_page" 2>"$warnings") || fail "man -l could not render the page"
    [ ! -s "$warnings" ] || fail "man --warnings: $(cat "$warnings")"
    whatis=$(lexgrog "$man_page") || fail "lexgrog finds no NAME line"
    [[ $whatis == *'"tessarin - '* ]] || fail "lexgrog read: $whatis"
    for section in NAME SYNOPSIS DESCRIPTION COMMANDS FLAGS APPLICATION LINKS 'EXIT STATUS' ENVIRONMENT FILES; do
        grep -qx "$section" <<<"$page" || fail "the page has no $section section"
    done
    for command in $commands; do
        grep -qE "^ +$command(,| |$)" <<<"$page" || fail "the page does not document $command"
    done
    # Every flag the usage text names.
    for flag in $("$program" help | sed '/^ANNOTATE SHAPE SPEC/,$d' | grep -oE -- '--[a-z][a-z-]*' | sort -u); do
        grep -qE -- "^ +$flag( |$)" <<<"$page" || fail "the page does not list the flag $flag"
    done
    exit_statuses=$(sed -n '/^EXIT STATUS$/,/^[A-Z]/p' <<<"$page")
    for status in 0 1 64; do
        grep -qE "^ +$status " <<<"$exit_statuses" || fail "the page does not explain exit status $status"
    done
    # An unknown command really ends with the status the page gives it.
    "$program" no-such-command >/dev/null 2>&1
    [ $? -eq 64 ] || fail "an unknown command does not exit with 64"
    for link in capture-area pin open-settings; do
        grep -q "$link" <<<"$(sed -n '/^LINKS$/,/^EXIT STATUS$/p' <<<"$page")" || fail "the page does not list the link $link"
    done
    ;;
environment_documented)
    # Every variable the program's code reads has its entry in ENVIRONMENT.
    page=$(MANWIDTH=200 man -l "$man_page" 2>/dev/null)
    environment=$(sed -n '/^ENVIRONMENT$/,/^FILES$/p' <<<"$page")
    read_names=$(grep -rhoE '(getenv|qEnvironmentVariable[A-Za-z]*|environment)\("[A-Z][A-Z0-9_]+"' "$source_dir/src" |
        grep -oE '"[A-Z][A-Z0-9_]+"' | tr -d '"' | sort -u)
    [ -n "$read_names" ] || fail "found no environment reads in $source_dir/src"
    for name in $read_names; do
        grep -qE "^ +$name( |$)" <<<"$environment" || fail "ENVIRONMENT does not document $name"
    done
    ;;
bash)
    require_tool bash
    completion=$prefix/share/bash-completion/completions/tessarin
    complete_words() {  # complete_words <words...>: what completing the last word offers
        (cd "$tmp" && bash --norc --noprofile -c '
            source "$1" || exit 2
            complete -p tessarin >/dev/null || exit 3
            shift
            COMP_WORDS=("$@"); COMP_CWORD=$(($# - 1))
            _tessarin
            printf "%s\n" "${COMPREPLY[@]}"' bash "$completion" "$@")
    }
    expect_all "$(complete_words tessarin '')" "$commands" "bash at the first word"
    [ "$(complete_words tessarin capture-r)" = capture-region ] || fail "bash does not complete capture-r to capture-region"
    expect_all "$(complete_words tessarin capture-region --)" "--rect --out --display-id --display" "bash after capture-region"
    expect_all "$(complete_words tessarin capture-scrolling --)" "--max-seconds --idle-seconds --no-auto-scroll" \
        "bash after capture-scrolling"
    touch "$tmp/shot-one.png"
    [ "$(complete_words tessarin annotate --in shot-)" = shot-one.png ] || fail "bash does not complete file names after --in"
    [ -z "$(complete_words tessarin capture-region --rect '')" ] || fail "bash offers words for --rect's value"
    ;;
zsh)
    require_tool zsh
    completion=$prefix/share/zsh/vendor-completions/_tessarin
    zsh -n "$completion" || fail "zsh cannot parse the completion"
    # Stand-ins for the completion system's functions print what they are offered.
    offer() {
        (cd "$tmp" && zsh -f -c '
            _describe() { print -l -- "${(@)${(P)argv[-1]}%%:*}"; }
            _arguments() { local spec; for spec in "$@"; do print -- "${spec%%\[*}"; done; }
            file=$1; shift
            words=("$@"); CURRENT=$#
            source "$file"' zsh "$completion" "$@")
    }
    expect_all "$(offer tessarin '')" "$commands" "zsh at the first word"
    expect_all "$(offer tessarin capture-text '')" "--in --rect --display-id --display --app --window --no-linebreaks --out" \
        "zsh after capture-text"
    ;;
fish)
    require_tool fish
    completion=$prefix/share/fish/vendor_completions.d/tessarin.fish
    fish --no-execute "$completion" || fail "fish cannot parse the completion"
    offer() { fish --no-config -c "source '$completion'; complete -C'$1'" | cut -f1; }
    expect_all "$(offer 'tessarin ')" "$commands" "fish at the first word"
    expect_all "$(offer 'tessarin annotate --')" "--in --out --shapes" "fish after annotate"
    expect_all "$(offer 'tessarin capture-window --')" "--app --out --window" "fish after capture-window"
    ;;
*)
    echo "unknown case $case_name" >&2
    exit 2
    ;;
esac
finish
