#!/usr/bin/env bash
# Benchmark of the pose estimator on the sample photos. Prints the machine's
# load, then per photo the model load time and the detection, landmark and
# pose times (bench program, with OpenCV's default threads and with one),
# then the whole search on each photo turned in the image plane (time
# relative to upright, pose; then every 7.5 degrees round, with how much the
# landmark network's square moves on the face) and on its face scaled to
# 30..220 pixels in a 640x480 frame (found at how many of four places,
# pose), then the whole test_facepose process beside a process that only
# reads the image, images without a face against the astronaut (in process
# and as whole processes), test_facepose's peak memory on two large images
# without a face (made here), and, when the JavaScript reference tooling is
# installed, face-api's own pipeline on the same photos.
#
# Usage: bench/speed/estimator.sh [BUILD_DIR]   (default: build)
# Needs the sample model and photos (scripts/fetch-pose-model.sh BUILD_DIR).
set -euo pipefail

ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)"
BUILD="$(cd "${1:-$ROOT/build}" && pwd)"
MODEL_DIR="$ROOT/sample/pose-model"
PHOTOS=("$ROOT/sample/photos/astronaut.png" "$ROOT/sample/photos/camera.png")

cmake -S "$ROOT" -B "$BUILD" -DFACEPOSE_BENCH=ON >/dev/null
cmake --build "$BUILD" --target estimator_bench test_facepose image_read_bench gradient_image \
    run_measured >/dev/null

MODEL="$MODEL_DIR/light_rpoly_lmp_iter_75000_w_scale.nmodel"
# Other work on the machine slows every figure below: note its load.
echo "load average: $(cut -d' ' -f1-3 /proc/loadavg) on $(nproc) cores"
echo "== stages (in process)"
"$BUILD/bench/estimator_bench" "$MODEL" "${PHOTOS[@]}" 2>/dev/null
echo "== stages with OpenCV on one thread"
"$BUILD/bench/estimator_bench" --threads 1 "$MODEL" "${PHOTOS[@]}" 2>/dev/null | grep -v '^model load'

echo "== turns and face sizes"
"$BUILD/bench/estimator_bench" --geometry "$MODEL" "${PHOTOS[@]}" 2>/dev/null | grep -v '^model load\|^OpenCV threads'

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

# Images without a face against the astronaut, in process and as whole
# test_facepose processes.
WORK="$BUILD/bench/work"
mkdir -p "$WORK"
echo "== images without a face"
"$BUILD/bench/estimator_bench" --no-face "$WORK" "$MODEL" "${PHOTOS[@]}" 2>/dev/null | grep -v '^model load\|^OpenCV threads'
astronaut_ms=$(median_ms "$BUILD/test/src/test_facepose" -m "$MODEL_DIR" -p "${PHOTOS[0]}")
echo "test_facepose (median of 11 runs): astronaut.png $astronaut_ms ms"
for name in grey-256x256 grey-640x480 noise-640x480 camera-background; do
    ms=$(median_ms "$BUILD/test/src/test_facepose" -m "$MODEL_DIR" -p "$WORK/$name.png")
    awk -v name="$name" -v ms="$ms" -v base="$astronaut_ms" 'BEGIN { printf "  %s: %.1f ms, %.2fx\n", name, ms, ms / base }'
    rm -f "$WORK/$name.png"
done

# The detector works on the net's input size whatever the image's: the
# peak stays that of the decoded image and the libraries.
echo "== peak memory of test_facepose on large images without a face"
for size in 20000x1 12000x3000; do
    image="$WORK/gradient-$size.png"
    "$BUILD/bench/gradient_image" "${size%x*}" "${size#*x}" "$image"
    read -r wall rss status < <("$BUILD/bench/run_measured" /dev/null /dev/null -- \
        "$BUILD/test/src/test_facepose" -m "$MODEL_DIR" -p "$image")
    awk -v size="$size" -v rss="$rss" -v wall="$wall" -v status="$status" -v bytes="$(stat -c %s "$image")" \
        'BEGIN { printf "%s (%d-byte PNG): peak RSS %.0f MB, %.2f s, exit status %d\n", size, bytes, rss / 1024, wall, status }'
    rm -f "$image"
done

JSREF="$ROOT/tests/network/estimator/reference"
if [ -d "$JSREF/node_modules/@vladmandic/face-api" ] && command -v node >/dev/null; then
    echo "== face-api's JavaScript pipeline (tfjs CPU backend)"
    node "$JSREF/time_pipeline.js" "${PHOTOS[@]}"
else
    echo "== face-api's JavaScript pipeline: not installed (cd tests/network/estimator/reference && npm install)"
fi
