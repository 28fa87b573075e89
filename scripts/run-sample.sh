#!/usr/bin/env bash
# Builds the project, then runs test_facepose on the bundled sample in
# build/sample-run/.
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
build=${BUILD_DIR:-$root/build}
"$root/scripts/setup.sh"

run_dir="$build/sample-run"
mkdir -p "$run_dir"
cd "$run_dir"
echo "\$ test_facepose -m sample/fixed-model -p sample/face.png -v sample/face.nkvalid"
"$build/test/src/test_facepose" -m "$root/sample/fixed-model" -p "$root/sample/face.png" \
    -v "$root/sample/face.nkvalid"
echo "\$ cat face.log   # in $run_dir"
cat face.log
