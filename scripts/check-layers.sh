#!/usr/bin/env bash
# Fails, naming each one, on an #include under src/ that goes up the layers
# or reaches a graphics or platform library from a layer that must not know
# it, on a CMake library that links a layer it may not include, and on an
# include of a layer that none of the including layer's libraries declares
# (directly or through the libraries it links) in DEPENDS.
#
# The layers, bottom first (docs/architecture.md draws them):
#   common, screen          utilities; the vocabulary back ends and core share
#   codecs, platform        image encoders and decoders; the back-end interfaces
#   annotation, recording,  the core subsystems
#   scrolling, capture,
#   preferences
#   flow                    the capture flow (uses capture and preferences), and
#                           the pins behind its pin port (core/pins)
#   automation              tessarin:// links: parsing and the executor (uses flow)
#   quickaccess             the Quick Access thumbnails (a presenter of the flow)
#   recordingflow           the recording flow and the video editor's controls
#   backends                the X11 and Wayland portal back ends and the factory
#                           that picks one, the capture sound (libcanberra)
#   annotation-render, ocr  Cairo/Pango drawing; the text-recognition engine
#   media                   FFmpeg, PulseAudio and screen grabs for recording
#   shell                   the desktop application's decisions (no Qt)
#   settings, onboarding    the settings window's and first-run guide's decisions
#   cli                     the commands
#   app                     the program and the Qt desktop module
# Usage: scripts/check-layers.sh [source folder, default src]
set -euo pipefail
cd "$(dirname "$0")/.."
src=${1:-src}

# The layer of a path relative to src/ (an included name or a file).
layer_of() {
    case "$1" in
        core/common/*) echo common ;;
        core/screen/*) echo screen ;;
        platform/x11/* | platform/portal/* | platform/sound/* | platform/gsettings/* | platform/PlatformFactory.* | platform/PlatformChoice.* | platform/ShortcutGrabberFactory.* | platform/InteractionFactory.*) echo backends ;;
        platform/*) echo platform ;;
        render/annotation/*) echo annotation-render ;;
        render/*) echo codecs ;;
        core/annotation/*) echo annotation ;;
        core/recording/*) echo recording ;;
        core/scrolling/*) echo scrolling ;;
        core/capture/*) echo capture ;;
        core/preferences/*) echo preferences ;;
        core/flow/*) echo flow ;;
        core/pins/*) echo flow ;;
        core/automation/*) echo automation ;;
        core/quickaccess/*) echo quickaccess ;;
        core/recordingflow/*) echo recordingflow ;;
        core/cli/*) echo cli ;;
        core/shell/*) echo shell ;;
        core/history/*) echo shell ;;
        core/settings/*) echo settings ;;
        core/onboarding/*) echo onboarding ;;
        ocr/*) echo ocr ;;
        media/*) echo media ;;
        app/* | main.cpp) echo app ;;
        *) echo unknown ;;
    esac
}

# What each layer may include besides itself.
declare -A may_include=(
    [common]=""
    [screen]="common"
    [codecs]="common"
    [platform]="common screen"
    [annotation]="common"
    [recording]="common"
    [scrolling]="common screen platform"
    [capture]="common screen platform codecs"
    [preferences]="common screen annotation capture"
    [flow]="common screen platform codecs annotation recording scrolling capture preferences"
    [quickaccess]="common screen platform codecs annotation recording scrolling capture preferences flow"
    [recordingflow]="common screen platform codecs annotation recording scrolling capture preferences flow"
    [backends]="common screen platform codecs"
    [annotation-render]="common codecs annotation"
    [ocr]="common recording"
    [automation]="common screen platform codecs annotation recording scrolling capture preferences flow"
    [media]="common screen platform backends recording"
    [shell]="common screen platform codecs annotation recording scrolling capture preferences flow"
    [settings]="common screen platform codecs annotation recording scrolling capture preferences flow shell"
    [onboarding]="common screen platform codecs annotation recording scrolling capture preferences flow shell"
    [cli]="common screen platform codecs annotation recording scrolling capture preferences"
    [app]="common screen platform codecs annotation recording scrolling capture preferences flow automation quickaccess recordingflow shell settings onboarding backends annotation-render ocr cli"
)

# System libraries only some layers may use; everything else (the C++ and
# POSIX headers, zlib, libpng, libjpeg, libdeflate, JSON) is open to all.
library_of() {
    case "$1" in
        xcb/* | X11/* | xkbcommon/*) echo x11 ;;
        canberra.h) echo canberra ;;
        gio/*) echo gio ;;
        wayland-*.h | *-client-protocol.h) echo wayland ;;
        cairo*.h | pango/* | glib*.h | glib/*) echo cairo ;;
        tesseract/* | leptonica/*) echo tesseract ;;
        libav*/* | libsw*/*) echo ffmpeg ;;
        pulse/*) echo pulse ;;
        pipewire/* | spa/*) echo pipewire ;;
        Q* | qt*/*) echo qt ;;
        *) echo open ;;
    esac
}
declare -A may_use=(
    [backends]="x11 canberra gio wayland pipewire"
    [annotation-render]="cairo"
    [ocr]="tesseract"
    [media]="x11 ffmpeg pulse"
    [app]="qt"
)

# The layer of each library target, and of the outside libraries they link.
declare -A target_layer=(
    [tessarin_common]=common [tessarin_screen]=screen [tessarin_render]=codecs
    [tessarin_platform_interfaces]=platform [tessarin_platform_interaction]=platform
    [tessarin_platform]=backends [tessarin_x11_shortcuts]=backends [tessarin_x11_interaction]=backends
    [tessarin_capture_sound]=backends [tessarin_gsettings]=backends
    [tessarin_portal]=backends [tessarin_wayland_outputs]=backends [tessarin_portal_backend]=backends
    [tessarin_cast_frames]=backends [tessarin_pipewire_stream]=backends [tessarin_portal_cast]=backends
    [tessarin_settings]=settings [tessarin_onboarding]=onboarding
    [tessarin_annotation]=annotation [tessarin_recording]=recording [tessarin_scrolling]=scrolling
    [tessarin_capture]=capture [tessarin_capture_output]=capture [tessarin_preferences]=preferences
    [tessarin_flow]=flow [tessarin_pins]=flow [tessarin_automation]=automation
    [tessarin_quickaccess]=quickaccess [tessarin_recordingflow]=recordingflow [tessarin_stream_recording]=recordingflow
    [tessarin_annotation_render]=annotation-render [tessarin-annotation]=annotation-render
    [tessarin_ocr]=ocr [tessarin_ocr_image]=ocr [tessarin-ocr]=ocr
    [tessarin_media_engine]=media [tessarin-media]=media
    [tessarin_cli]=cli [tessarin_shell]=shell [tessarin_history_window]=shell
    [tessarin_desktop]=app [tessarin-desktop]=app [tessarin_reference]=app
)
declare -A linked_library=(
    [tessarin_dep_xcb]=x11 [PkgConfig::XCB]=x11 [PkgConfig::XCB_XKB]=x11 [PkgConfig::XCB_XINPUT]=x11 [PkgConfig::XKBCOMMON]=x11
    [PkgConfig::CANBERRA]=canberra [PkgConfig::GIO]=gio [PkgConfig::WAYLAND_CLIENT]=wayland
    [PkgConfig::CAIRO]=cairo [PkgConfig::PANGOCAIRO]=cairo
    [PkgConfig::TESSERACT]=tesseract
    [PkgConfig::FFMPEG]=ffmpeg [PkgConfig::PULSE_SIMPLE]=pulse
    [PkgConfig::PIPEWIRE]=pipewire
    [Qt6::Core]=qt [Qt6::Gui]=qt [Qt6::Widgets]=qt [Qt6::DBus]=qt
)

contains() { [[ " $1 " == *" $2 "* ]]; }
violations=0
report() {
    echo "$1" >&2
    violations=$((violations + 1))
}

declare -A links=()  # library -> the libraries it declares in DEPENDS
# Each library's declared DEPENDS: only layers it may include.
while IFS= read -r cmake; do
    # One line per tessarin_library/tessarin_module call: its name, then its words.
    while read -r kind name words; do
        [ "$kind" = tessarin_module ] && name="tessarin-$name"
        layer=${target_layer[$name]:-}
        if [ -z "$layer" ]; then
            report "$cmake: library $name is in no layer (add it to scripts/check-layers.sh)"
            continue
        fi
        depends=${words#*DEPENDS}
        [ "$depends" = "$words" ] && depends=""
        links[$name]="$depends"
        for dependency in $depends; do
            if [ -n "${target_layer[$dependency]:-}" ]; then
                target=${target_layer[$dependency]}
                [ "$target" = "$layer" ] && continue
                contains "${may_include[$layer]}" "$target" && continue
                report "$cmake: $name ($layer) links $dependency ($target)"
            elif [ -n "${linked_library[$dependency]:-}" ]; then
                contains "${may_use[$layer]:-}" "${linked_library[$dependency]}" && continue
                report "$cmake: $name ($layer) links $dependency (${linked_library[$dependency]})"
            fi
        done
    done < <(sed 's/#.*//' "$cmake" | tr '\n' ' ' | grep -oE 'tessarin_(library|module)\([^)]*\)' |
        sed -E 's/\(/ /; s/\)$//; s/[[:space:]]+/ /g')
done < <(find "$src" -name CMakeLists.txt | sort)


# The layers each layer's libraries link, directly or through others.
declare -A reaches=()
reach_of() {  # the layers library $1 links, through every DEPENDS
    local pending=("$1") seen=" " name dependency
    while [ ${#pending[@]} -gt 0 ]; do
        name=${pending[-1]}
        unset 'pending[-1]'
        for dependency in ${links[$name]:-}; do
            [ -n "${target_layer[$dependency]:-}" ] || continue
            contains "$seen" "$dependency" && continue
            seen+="$dependency "
            pending+=("$dependency")
            echo "${target_layer[$dependency]}"
        done
    done
}
for name in "${!links[@]}"; do
    layer=${target_layer[$name]}
    reaches[$layer]="${reaches[$layer]:-} $(reach_of "$name" | sort -u | tr '\n' ' ')"
done

while IFS= read -r file; do
    relative=${file#"$src"/}
    layer=$(layer_of "$relative")
    if [ "$layer" = unknown ]; then
        report "$file: in no layer (add its folder to scripts/check-layers.sh)"
        continue
    fi
    while IFS=: read -r line text; do
        if [[ $text =~ ^[[:space:]]*#[[:space:]]*include[[:space:]]*\"([^\"]+)\" ]]; then
            included=${BASH_REMATCH[1]}
            [[ $included == */* ]] || continue  # beside the file
            target=$(layer_of "$included")
            [ "$target" = "$layer" ] && continue
            if ! contains "${may_include[$layer]}" "$target"; then
                report "$file:$line: $layer includes $included ($target)"
            elif [ "$layer" != app ] && ! contains "${reaches[$layer]:-}" "$target"; then
                report "$file:$line: $layer includes $included, but no $layer library declares $target in DEPENDS"
            fi
        elif [[ $text =~ ^[[:space:]]*#[[:space:]]*include[[:space:]]*\<([^\>]+)\> ]]; then
            included=${BASH_REMATCH[1]}
            library=$(library_of "$included")
            [ "$library" = open ] && continue
            contains "${may_use[$layer]:-}" "$library" && continue
            report "$file:$line: $layer includes <$included> ($library)"
        fi
    done < <(grep -n '^[[:space:]]*#[[:space:]]*include' "$file" || true)
done < <(find "$src" -type f \( -name '*.h' -o -name '*.cpp' -o -name '*.h.in' \) | sort)

if [ "$violations" -gt 0 ]; then
    echo "check-layers: $violations include(s) or link(s) break the layers (see docs/architecture.md)" >&2
    exit 1
fi
echo "check-layers: every include and link goes down the layers"
