#!/usr/bin/env bash
# One command for every test: installs what is missing, builds, and runs the
# whole suite (unit, random-input and integration tests; the integration
# tests start their own X servers).
set -euo pipefail
cd "$(dirname "$0")/.."
./scripts/install-deps.sh
./scripts/build.sh
cd build
ctest --output-on-failure --parallel "$(nproc)" --timeout 300
