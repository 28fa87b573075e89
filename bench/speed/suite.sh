#!/usr/bin/env bash
# facepose_suite against one test_facepose process per case, on the same
# cases in the same run. Makes the cases from the sample photos (turned by
# -24 to +24 degrees in steps of 3 and by 90, 180 and -90, as they are and
# mirrored) and four images without a face (bench/helpers/no_face_images.h),
# records the photos' expectations with record_facepose (each image without
# a face gets the astronaut's: it fails, "no face", in both programs), then
# times, twice each and keeping the
# faster round: test_facepose -v once per case (each in a working folder of
# its own, as the CMake case functions run it), facepose_suite -j 1 and
# facepose_suite with one worker per core. The suite's time includes its
# report. Prints per case the wall time and the processor time (user and
# system, all threads and processes) of each run, and the cost of the
# suite's stages.
#
# Usage: bench/speed/suite.sh [BUILD_DIR]   (default: build)
# Needs the sample model and photos (scripts/fetch-pose-model.sh BUILD_DIR).
set -euo pipefail

ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)"
BUILD="$(cd "${1:-$ROOT/build}" && pwd)"
MODEL_DIR="$ROOT/sample/pose-model"
WORK="$BUILD/bench/suite-work"

cmake -S "$ROOT" -B "$BUILD" -DFACEPOSE_BENCH=ON >/dev/null
cmake --build "$BUILD" --target facepose_suite test_facepose record_facepose make_suite_cases >/dev/null
rm -rf "$WORK"
mkdir -p "$WORK/cases"
"$BUILD/bench/make_suite_cases" --no-face "$ROOT/sample/photos/camera.png" "$WORK/cases" 24 3 \
    "$ROOT/sample/photos/astronaut.png" "$ROOT/sample/photos/camera.png" >/dev/null
# A turned photo in which the network finds no face cannot be recorded: it
# leaves the suite.
"$BUILD/test/recorder/record_facepose" -m "$MODEL_DIR" -c "$WORK/cases" >"$WORK/record.log" 2>&1 || true
for dir in "$WORK/cases"/no-face-*/; do
    cp "$ROOT/sample/astronaut.nkvalid" "${dir}photo.nkvalid"
done
for dir in "$WORK/cases"/*/; do
    ls "$dir"*.nkvalid >/dev/null 2>&1 || rm -rf "$dir"
done
cases=("$WORK/cases"/*/)
count=${#cases[@]}
no_face=$(ls -d "$WORK/cases"/no-face-*/ | wc -l)
if ((count < 60)); then
    echo "only $count cases could be recorded; 60 are needed" >&2
    exit 1
fi

# Runs "$@" and prints its wall and processor time (user + system, the
# children included) in milliseconds.
TIMEFORMAT='%3R %3U %3S'
measure() {
    local times
    times=$({ time "$@" >/dev/null 2>&1; } 2>&1)
    awk '{ printf "%d %d\n", $1 * 1000, ($2 + $3) * 1000 }' <<<"$times"
}

# One test_facepose process per case, each in the working folder made for it
# beforehand (by prepare_processes); the verdicts are counted afterwards
# (count_processes), outside the timing.
prepare_processes() {
    rm -rf "$WORK/runs"
    for dir in "${cases[@]}"; do
        mkdir -p "$WORK/runs/$(basename "$dir")"
    done
}
run_processes() {
    for dir in "${cases[@]}"; do
        (cd "$WORK/runs/$(basename "$dir")" && exec "$BUILD/test/src/test_facepose" -m "$MODEL_DIR" \
            -p "${dir}photo.png" -v "${dir}photo.nkvalid" >/dev/null 2>stderr) || true
    done
}
count_processes() {
    grep -l '\] Test passed\.$' "$WORK"/runs/*/stderr | wc -l >"$WORK/processes.passed"
}

# facepose_suite with $1 workers; leaves its output in $WORK/suite-$1.out.
run_suite() {
    "$BUILD/test/suite/facepose_suite" -m "$MODEL_DIR" -c "$WORK/cases" -o "$WORK/report-$1" -j "$1" \
        >"$WORK/suite-$1.out" 2>/dev/null || true
}

# The faster of two "wall cpu" lines, by wall time.
faster() { ((${1%% *} < ${2%% *})) && echo "$1" || echo "$2"; }

jobs=$(nproc)
echo "load average: $(cut -d' ' -f1-3 /proc/loadavg) on $(nproc) cores; $count cases, $no_face of them without a face"
processes="999999999 0" suite_one="999999999 0" suite_all="999999999 0"
for _ in 1 2; do
    prepare_processes
    processes=$(faster "$processes" "$(measure run_processes)")
    count_processes
    suite_one=$(faster "$suite_one" "$(measure run_suite 1)")
    suite_all=$(faster "$suite_all" "$(measure run_suite "$jobs")")
done

# Prints one row: name, then wall and processor ms per case and the speed-ups
# against one process per case.
row() {
    awk -v name="$1" -v wall="${2%% *}" -v cpu="${2##* }" -v base_wall="${processes%% *}" \
        -v base_cpu="${processes##* }" -v n="$count" 'BEGIN {
        printf "%-36s %10.1f %10.1f %10.1fx %10.1fx\n", name, wall / n, cpu / n, base_wall / wall, base_cpu / cpu }'
}
printf '%-36s %10s %10s %11s %11s\n' "run" "wall ms" "cpu ms" "wall gain" "cpu gain"
row "test_facepose, one process per case" "$processes"
row "facepose_suite -j 1" "$suite_one"
row "facepose_suite -j $jobs" "$suite_all"
echo "passed: test_facepose $(cat "$WORK/processes.passed"), facepose_suite -j 1 $(grep -c '^passed ' "$WORK/suite-1.out"), -j $jobs $(grep -c '^passed ' "$WORK/suite-$jobs.out")"
echo "facepose_suite -j 1, last round: $(grep '^per case' "$WORK/suite-1.out")"
echo "facepose_suite -j $jobs, last round: $(grep '^per case' "$WORK/suite-$jobs.out")"

# Two models side by side: every case through the pose model twice
# (--baseline-model with the same folder), one worker, against the one-model
# run above; the image is read and decoded once.
suite_baseline="999999999 0"
run_baseline() {
    "$BUILD/test/suite/facepose_suite" -m "$MODEL_DIR" -c "$WORK/cases" -o "$WORK/report-baseline" -j 1 \
        --baseline-model "$MODEL_DIR" >"$WORK/suite-baseline.out" 2>/dev/null || true
}
for _ in 1 2; do
    suite_baseline=$(faster "$suite_baseline" "$(measure run_baseline)")
done
awk -v one="${suite_one%% *}" -v two="${suite_baseline%% *}" -v n="$count" 'BEGIN {
    printf "--baseline-model, -j 1: %.1f ms per case, %.2fx the one-model run (%.1f ms)\n", two / n, two / one, one / n }'

# The share of results.json and the overview in a 1,000-case run: the same
# sample face 1,000 times with the fixed model (a few milliseconds per case,
# so the report weighs more than beside a real network). The summary gives
# the time of writing results.json with the overview, and of the whole
# report phase (moving the case files, junit.xml, report.html); best of two.
rm -rf "$WORK/thousand"
for i in $(seq -w 1 1000); do
    mkdir -p "$WORK/thousand/case-$i"
    ln -s "$ROOT/sample/face.png" "$WORK/thousand/case-$i/face.png"
    cp "$ROOT/sample/face.nkvalid" "$WORK/thousand/case-$i/"
done
for round in 1 2; do
    "$BUILD/test/suite/facepose_suite" -m "$ROOT/sample/fixed-model" -c "$WORK/thousand" \
        -o "$WORK/report-thousand" >"$WORK/suite-thousand-$round.out" 2>/dev/null || true
done
cat "$WORK"/suite-thousand-*.out | awk -v size="$(stat -c %s "$WORK/report-thousand/results.json")" '
    / cases: / { gsub(/\(/, "", $(NF - 1)); wall = $(NF - 1) * 1000 }
    /^per case/ { match($0, /report [0-9.]+ ms/); report = substr($0, RSTART + 7, RLENGTH - 10) + 0
                  match($0, /overview [0-9.]+ ms/); review = substr($0, RSTART + 9, RLENGTH - 12) + 0
                  share = 100 * review / wall
                  if (best == "" || share < best) { best = share; w = wall; r = report; v = review } }
    END { printf "1,000 cases (fixed model): %.0f ms; results.json and overview %.1f ms (%.2f%%), whole report phase %.0f ms; results.json %d kB\n",
                 w, v, best, r, size / 1024 }'
