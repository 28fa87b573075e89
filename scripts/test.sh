#!/usr/bin/env bash
# Builds the project and runs every test; ends non-zero when any test fails.
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
build=${BUILD_DIR:-$root/build}
"$root/scripts/setup.sh"

ctest --test-dir "$build" --output-on-failure -j "$(nproc)"
