#!/usr/bin/env bash
# Accuracy of the pose estimator against synthetic ground truth: MediaPipe's
# canonical face mesh, textured from a frontal sample photo, rendered at
# known yaw, pitch and roll and run through the estimator (accuracy_bench
# says what each column means). Fetches what it needs: the pinned face mesh
# package (bench/accuracy/fetch-face-mesh.sh) and the sample model and photos
# (scripts/fetch-pose-model.sh).
#
# Usage: bench/accuracy/accuracy.sh [BUILD_DIR] [--photo astronaut|camera] [--step DEGREES] [--seed N] [--renders DIR]
#   (defaults: build, astronaut, 15)
set -euo pipefail

ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)"
BUILD="$ROOT/build"
if [ $# -gt 0 ] && [ "${1#-}" = "$1" ]; then
    BUILD="$1"
    shift
fi
BUILD="$(cd "$BUILD" && pwd)"
PHOTO=astronaut
OPTIONS=()
while [ $# -gt 0 ]; do
    case "$1" in
    --photo) PHOTO="$2"; shift 2 ;;
    --step | --seed | --renders) OPTIONS+=("$1" "$2"); shift 2 ;;
    *) echo "usage: $0 [BUILD_DIR] [--photo astronaut|camera] [--step DEGREES] [--seed N] [--renders DIR]" >&2; exit 2 ;;
    esac
done

cmake -S "$ROOT" -B "$BUILD" -DFACEPOSE_BENCH=ON >/dev/null
cmake --build "$BUILD" --target accuracy_bench pose_model_converter >/dev/null
"$ROOT/scripts/fetch-pose-model.sh" "$BUILD" >/dev/null
MESH="$("$ROOT/bench/accuracy/fetch-face-mesh.sh")"
echo "load average: $(cut -d' ' -f1-3 /proc/loadavg) on $(nproc) cores"
"$BUILD/bench/accuracy_bench" "${OPTIONS[@]}" \
    "$ROOT/sample/pose-model/light_rpoly_lmp_iter_75000_w_scale.nmodel" "$MESH" \
    "$ROOT/sample/photos/$PHOTO.png"
