#!/usr/bin/env bash
# Configures and builds Tessarin into build/ (optimised, with debug info).
set -euo pipefail
cd "$(dirname "$0")/.."
generator=()
# An existing build folder keeps the generator it was made with.
[ -f build/CMakeCache.txt ] || generator=(-G Ninja)
launcher=()
if command -v ccache >/dev/null; then
  launcher=(-DCMAKE_C_COMPILER_LAUNCHER=ccache -DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
  # Hits from a checkout in another folder too (CI clones afresh).
  export CCACHE_BASEDIR="$PWD" CCACHE_NOHASHDIR=1
fi
cmake -S . -B build "${generator[@]}" "${launcher[@]}" -DCMAKE_BUILD_TYPE=RelWithDebInfo "$@" >/dev/null
cmake --build build --parallel "$(nproc)"
