#!/usr/bin/env bash
# Builds the project (fetching the pose model and photos on first use), then
# runs test_facepose on the bundled astronaut photo, validates its pose
# against sample/astronaut.nkvalid and shows the validation log. Runs in
# build/sample-run/, where the log lands.
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
build=${BUILD_DIR:-$root/build}
"$root/scripts/setup.sh" >/dev/null

run_dir="$build/sample-run"
mkdir -p "$run_dir"
cd "$run_dir"
echo "\$ test_facepose -m sample/pose-model -p sample/photos/astronaut.png -v sample/astronaut.nkvalid"
"$build/test/src/test_facepose" -m "$root/sample/pose-model" \
    -p "$root/sample/photos/astronaut.png" -v "$root/sample/astronaut.nkvalid" 2>&1
echo "\$ cat astronaut.log"
cat astronaut.log
