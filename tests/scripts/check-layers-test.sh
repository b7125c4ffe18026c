#!/usr/bin/env bash
# The layer check against small source trees: each include or link that goes
# up is named, a tree that only goes down passes.
set -euo pipefail
check="$(cd "$(dirname "$0")/../.." && pwd)/scripts/check-layers.sh"
tree=$(mktemp -d)
trap 'rm -rf "$tree"' EXIT
failures=0
expect() {  # expect <description> <status> <text the output must hold>...
    local description=$1 status=$2
    shift 2
    local output actual=0
    output=$("$check" "$tree/src" 2>&1) || actual=$?
    if [ "$actual" -ne "$status" ]; then
        echo "FAIL $description: exit $actual, wanted $status"$'\n'"$output"
        failures=$((failures + 1))
        return
    fi
    for text in "$@"; do
        if [[ $output != *"$text"* ]]; then
            echo "FAIL $description: output lacks \"$text\""$'\n'"$output"
            failures=$((failures + 1))
        fi
    done
}
put() { mkdir -p "$(dirname "$tree/src/$1")" && printf '%s\n' "${@:2}" >"$tree/src/$1"; }

put core/common/Geometry.h '#pragma once' '#include <vector>'
put core/screen/CaptureError.h '#include "core/common/Geometry.h"'
put platform/ScreenBackend.h '#include "core/screen/CaptureError.h"'
put core/capture/Service.h '#include "platform/ScreenBackend.h"' '#include "Local.h"'
put platform/x11/X11Backend.cpp '#include <xcb/xcb.h>' '#include "platform/ScreenBackend.h"'
put core/screen/CMakeLists.txt 'tessarin_library(tessarin_screen DEPENDS tessarin_common)'
put platform/CMakeLists.txt 'tessarin_library(tessarin_platform_interfaces DEPENDS tessarin_screen)' \
    'tessarin_library(tessarin_platform SOURCES x11/X11Backend.cpp DEPENDS tessarin_platform_interfaces tessarin_dep_xcb)'
put core/capture/CMakeLists.txt 'tessarin_library(tessarin_capture SOURCES a.cpp' '  DEPENDS tessarin_common tessarin_platform_interfaces)'
expect "a tree that goes down" 0 "every include and link goes down"

put platform/ScreenBackend.h '#include "core/capture/Service.h"'
put core/preferences/Prefs.h '#include "core/common/Geometry.h"'  # preferences declare no DEPENDS
put core/annotation/Model.h '#  include "core/preferences/Prefs.h"'
put core/capture/Window.cpp '#include <X11/Xlib.h>' '#include "platform/x11/X11Backend.h"'
put render/annotation/Painter.cpp '#include <cairo.h>'
put core/annotation/Painter.h '#include <cairo.h>' '#include <QPainter>'
put core/annotation/CMakeLists.txt 'tessarin_library(tessarin_annotation SOURCES a.cpp # what it draws' \
    '  DEPENDS tessarin_common tessarin_preferences PkgConfig::CAIRO)'
put core/odd/Thing.h '#pragma once'
expect "a tree with upward includes" 1 \
    "ScreenBackend.h:1: platform includes core/capture/Service.h (capture)" \
    "Model.h:1: annotation includes core/preferences/Prefs.h (preferences)" \
    "Window.cpp:1: capture includes <X11/Xlib.h> (x11)" \
    "Window.cpp:2: capture includes platform/x11/X11Backend.h (backends)" \
    "Painter.h:1: annotation includes <cairo.h> (cairo)" \
    "Painter.h:2: annotation includes <QPainter> (qt)" \
    "tessarin_annotation (annotation) links tessarin_preferences (preferences)" \
    "tessarin_annotation (annotation) links PkgConfig::CAIRO (cairo)" \
    "core/odd/Thing.h: in no layer" \
    "Prefs.h:1: preferences includes core/common/Geometry.h, but no preferences library declares common in DEPENDS" \
    "10 include(s) or link(s) break the layers"

[ "$failures" -eq 0 ] && echo "check-layers-test: all cases pass"
exit $((failures > 0))
