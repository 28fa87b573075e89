#!/usr/bin/env bash
# Records sample/astronaut.nkvalid again with record_facepose's default (the
# pose with "<", "Threshold: 0" and "Tolerance: 1"), after a deliberate
# change of the estimator. Builds what it needs into build/ (or $BUILD_DIR)
# and makes the pose model when it is missing or stale. Extra arguments go to
# record_facepose (for instance --tolerance DEG).
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
build=${BUILD_DIR:-$root/build}
cmake --build "$build" --target record_facepose pose_model_converter >/dev/null
"$root/scripts/fetch-pose-model.sh" "$build"
# From the root, so that the file's comments name the model and photo
# relative to it.
cd "$root"
"$build/test/recorder/record_facepose" -m sample/pose-model -p sample/photos/astronaut.png \
    -o sample/astronaut.nkvalid -f "$@"
