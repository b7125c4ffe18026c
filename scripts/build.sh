#!/usr/bin/env bash
# Configures and builds Tessarin into build/ (optimised, with debug info).
set -euo pipefail
cd "$(dirname "$0")/.."
generator=()
# An existing build folder keeps the generator it was made with.
[ -f build/CMakeCache.txt ] || generator=(-G Ninja)
cmake -S . -B build "${generator[@]}" -DCMAKE_BUILD_TYPE=RelWithDebInfo "$@" >/dev/null
cmake --build build --parallel "$(nproc)"
