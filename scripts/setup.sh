#!/usr/bin/env bash
# Installs the Debian packages the build needs (only those that are missing),
# configures and builds the project into build/ (or $BUILD_DIR), then makes
# the sample's pose model and photos when they are not there yet.
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
build=${BUILD_DIR:-$root/build}

packages=(cmake ninja-build g++ pkg-config libopencv-dev libgoogle-glog-dev libgtest-dev libgmock-dev)
missing=()
for package in "${packages[@]}"; do
    dpkg -s "$package" >/dev/null 2>&1 || missing+=("$package")
done
if ((${#missing[@]})); then
    sudo=()
    [ "$(id -u)" -eq 0 ] || sudo=(sudo)
    echo "Installing: ${missing[*]}"
    export DEBIAN_FRONTEND=noninteractive
    "${sudo[@]}" apt-get install -y -q "${missing[@]}" ||
        { "${sudo[@]}" apt-get update -q && "${sudo[@]}" apt-get install -y -q "${missing[@]}"; }
fi

cmake -S "$root" -B "$build" -G Ninja -DZOR_WARNINGS_AS_ERRORS=ON "$@" >/dev/null
cmake --build "$build"
"$root/scripts/fetch-pose-model.sh" "$build"
