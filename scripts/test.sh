#!/usr/bin/env bash
# One command for every test: installs what is missing, checks the layers
# (scripts/check-layers.sh), builds, and runs the
# whole suite (unit, random-input and integration tests; the integration
# tests start their own X servers), then the unit and store tests again
# under AddressSanitizer+UBSan and ThreadSanitizer (scripts/sanitize.sh).
set -euo pipefail
cd "$(dirname "$0")/.."
./scripts/install-deps.sh
./scripts/check-layers.sh  # fails fast on an include that goes up the layers
./scripts/build.sh
(cd build && ctest --output-on-failure --parallel "$(nproc)" --timeout 300)
./scripts/sanitize.sh
