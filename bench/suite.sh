#!/usr/bin/env bash
# facepose_suite against one test_facepose process per case, on the same
# cases in the same run. Makes the cases from the sample photos (turned by
# -24 to +24 degrees in steps of 3, as they are and mirrored), records their
# expectations with record_facepose, then times, twice each and keeping the
# faster round: test_facepose -v once per case (each in a working folder of
# its own, as the CMake case functions run it), facepose_suite -j 1 and
# facepose_suite with one worker per core. The suite's time includes its
# report. Prints the per-case cost of the suite's stages.
#
# Usage: bench/suite.sh [BUILD_DIR]   (default: build)
# Needs the sample model and photos (scripts/fetch-pose-model.sh BUILD_DIR).
set -euo pipefail

ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
BUILD="$(cd "${1:-$ROOT/build}" && pwd)"
MODEL_DIR="$ROOT/sample/pose-model"
WORK="$BUILD/bench/suite-work"

cmake --build "$BUILD" --target facepose_suite test_facepose record_facepose make_suite_cases >/dev/null
rm -rf "$WORK"
mkdir -p "$WORK/cases"
"$BUILD/bench/make_suite_cases" "$WORK/cases" 24 3 "$ROOT/sample/photos/astronaut.png" \
    "$ROOT/sample/photos/camera.png" >/dev/null
# A turned photo in which the network finds no face cannot be recorded: it
# leaves the suite.
"$BUILD/test/src/record_facepose" -m "$MODEL_DIR" -c "$WORK/cases" >"$WORK/record.log" 2>&1 || true
for dir in "$WORK/cases"/*/; do
    ls "$dir"*.nkvalid >/dev/null 2>&1 || rm -rf "$dir"
done
cases=("$WORK/cases"/*/)
count=${#cases[@]}
if ((count < 60)); then
    echo "only $count cases could be recorded; 60 are needed" >&2
    exit 1
fi

now_ms() { echo $(($(date +%s%N) / 1000000)); }

# One test_facepose process per case; prints the wall time in ms and leaves
# the number of passed cases in $WORK/processes.passed.
run_processes() {
    local start end passed=0
    rm -rf "$WORK/runs"
    start=$(now_ms)
    for dir in "${cases[@]}"; do
        local run="$WORK/runs/$(basename "$dir")"
        mkdir -p "$run"
        (cd "$run" && "$BUILD/test/src/test_facepose" -m "$MODEL_DIR" -p "${dir}photo.png" \
            -v "${dir}photo.nkvalid" >/dev/null 2>stderr) || true
        grep -q '\] Test passed\.$' "$run/stderr" && passed=$((passed + 1))
    done
    end=$(now_ms)
    echo "$passed" >"$WORK/processes.passed"
    echo $((end - start))
}

# facepose_suite with $1 workers; prints the wall time in ms, leaves its
# output in $WORK/suite-$1.out.
run_suite() {
    local start end
    start=$(now_ms)
    "$BUILD/test/suite/facepose_suite" -m "$MODEL_DIR" -c "$WORK/cases" -o "$WORK/report-$1" -j "$1" \
        >"$WORK/suite-$1.out" 2>/dev/null || true
    end=$(now_ms)
    echo $((end - start))
}

min() { ((${1} < ${2})) && echo "$1" || echo "$2"; }

jobs=$(nproc)
echo "load average: $(cut -d' ' -f1-3 /proc/loadavg) on $(nproc) cores; $count cases"
processes=999999999 suite_one=999999999 suite_all=999999999
for _ in 1 2; do
    processes=$(min "$processes" "$(run_processes)")
    suite_one=$(min "$suite_one" "$(run_suite 1)")
    suite_all=$(min "$suite_all" "$(run_suite "$jobs")")
done

per_case() { awk -v ms="$1" -v n="$count" 'BEGIN { printf "%.1f", ms / n }'; }
ratio() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.1fx", a / b }'; }
printf '%-36s %9s %12s %9s\n' "run" "total ms" "ms per case" "speed-up"
printf '%-36s %9d %12s %9s\n' "test_facepose, one process per case" "$processes" "$(per_case "$processes")" "1.0x"
printf '%-36s %9d %12s %9s\n' "facepose_suite -j 1" "$suite_one" "$(per_case "$suite_one")" \
    "$(ratio "$processes" "$suite_one")"
printf '%-36s %9d %12s %9s\n' "facepose_suite -j $jobs" "$suite_all" "$(per_case "$suite_all")" \
    "$(ratio "$processes" "$suite_all")"
echo "passed: test_facepose $(cat "$WORK/processes.passed"), facepose_suite -j 1 $(grep -c '^passed ' "$WORK/suite-1.out"), -j $jobs $(grep -c '^passed ' "$WORK/suite-$jobs.out")"
echo "facepose_suite -j 1, last round: $(grep '^per case' "$WORK/suite-1.out")"
echo "facepose_suite -j $jobs, last round: $(grep '^per case' "$WORK/suite-$jobs.out")"
