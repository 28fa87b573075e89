#!/usr/bin/env bash
# Benchmark of the pose estimator on the sample photos. Prints the machine's
# load, then per photo the model load time and the detection, landmark and
# pose times (bench program, with OpenCV's default threads and with one),
# then the whole test_facepose process beside a process that only reads the
# image, and, when the JavaScript reference tooling is installed, face-api's
# own pipeline on the same photos.
#
# Usage: bench/estimator.sh [BUILD_DIR]   (default: build)
# Needs the sample model and photos (scripts/fetch-pose-model.sh BUILD_DIR).
set -euo pipefail

ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
BUILD="$(cd "${1:-$ROOT/build}" && pwd)"
MODEL_DIR="$ROOT/sample/pose-model"
PHOTOS=("$ROOT/sample/photos/astronaut.png" "$ROOT/sample/photos/camera.png")

cmake --build "$BUILD" --target estimator_bench test_facepose image_read_bench >/dev/null

MODEL="$MODEL_DIR/light_rpoly_lmp_iter_75000_w_scale.nmodel"
# Other work on the machine slows every figure below: note its load.
echo "load average: $(cut -d' ' -f1-3 /proc/loadavg) on $(nproc) cores"
echo "== stages (in process)"
"$BUILD/bench/estimator_bench" "$MODEL" "${PHOTOS[@]}" 2>/dev/null
echo "== stages with OpenCV on one thread"
"$BUILD/bench/estimator_bench" --threads 1 "$MODEL" "${PHOTOS[@]}" 2>/dev/null | grep -v '^model load'

# Median wall time of a command over 11 runs, in milliseconds.
median_ms() {
    local times=()
    for _ in $(seq 11); do
        local start end
        start=$(date +%s%N)
        "$@" >/dev/null 2>&1 || true
        end=$(date +%s%N)
        times+=($(( (end - start) / 1000 )))
    done
    printf '%s\n' "${times[@]}" | sort -n | sed -n 6p | awk '{printf "%.1f", $1 / 1000}'
}

echo "== whole process (median of 11 runs)"
for photo in "${PHOTOS[@]}"; do
    echo "$(basename "$photo"): test_facepose $(median_ms "$BUILD/test/src/test_facepose" -m "$MODEL_DIR" -p "$photo") ms," \
        "reading the image only $(median_ms "$BUILD/bench/image_read_bench" "$photo") ms"
done

JSREF="$ROOT/tests/estimator/reference"
if [ -d "$JSREF/node_modules/@vladmandic/face-api" ] && command -v node >/dev/null; then
    echo "== face-api's JavaScript pipeline (tfjs CPU backend)"
    node "$JSREF/time_pipeline.js" "${PHOTOS[@]}"
else
    echo "== face-api's JavaScript pipeline: not installed (cd tests/estimator/reference && npm install)"
fi
