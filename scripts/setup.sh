#!/usr/bin/env bash
# Installs the Debian packages the build needs (only those that are missing),
# configures and builds the project into build/ (or $BUILD_DIR), then makes
# the sample's pose model and photos when they are not there yet.
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
build=${BUILD_DIR:-$root/build}

packages=(cmake ninja-build g++ pkg-config libopencv-dev libgoogle-glog-dev libgtest-dev libgmock-dev libssl-dev libxml2-dev nlohmann-json3-dev)
"$root/scripts/install-packages.sh" "${packages[@]}"

cmake -S "$root" -B "$build" -G Ninja -DZOR_WARNINGS_AS_ERRORS=ON "$@" >/dev/null
cmake --build "$build"
"$root/scripts/fetch-pose-model.sh" "$build"
