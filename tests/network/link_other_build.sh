#!/usr/bin/env bash
# Builds test_facepose against a network library that lives elsewhere, as a
# user with another build of it does, and runs the result on the sample.
#
#   link_other_build.sh SOURCE_DIR LIBRARY_DIR
set -euo pipefail

source_dir=$1 library_dir=$2
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# The "other build": the three libraries copied into a folder of their own.
mkdir "$work/other"
cp -P "$library_dir"/libzor_facepose.so* "$library_dir"/libzor_networks_core.so \
      "$library_dir"/libzor_networks_utils.so "$work/other/"

cmake -S "$source_dir" -B "$work/build" -G Ninja -DBUILD_TESTING=OFF \
      -DZOR_NETWORK_LIBRARY_DIR="$work/other" >/dev/null
cmake --build "$work/build" --target test_facepose >/dev/null

program="$work/build/test/src/test_facepose"
if [ -e "$work/build/network" ]; then
    echo "FAIL: our network library was configured although another build was named"
    exit 1
fi
libraries=$(ldd "$program")
if ! grep -qF "libzor_facepose.so.1 => $work/other/" <<<"$libraries"; then
    echo "FAIL: test_facepose does not load libzor_facepose.so.1 from the other build:"
    grep zor <<<"$libraries"
    exit 1
fi
output=$("$program" -m "$source_dir/sample/fixed-model" -p "$source_dir/sample/face.png")
expected=$'Data length 139\nvalue: result 45.000000, -22.500000, 11.250000'
if [ "$output" != "$expected" ]; then
    echo "FAIL: unexpected output:"
    echo "$output"
    exit 1
fi
