#!/usr/bin/env bash
# Builds the libFuzzer targets (tests/fuzz, with clang, AddressSanitizer and
# UndefinedBehaviorSanitizer) into build-fuzz/ and runs each for a bounded
# time, then prints per target: executions, coverage and crashes.
#
#   scripts/fuzz.sh [SECONDS] [TARGET...]
#
# SECONDS defaults to 30 per target. FUZZ_PARALLEL=N runs N targets at a time
# (default 1). The committed seeds stay as they are: what the fuzzer finds
# goes to build-fuzz/corpus/<target>, crashes to build-fuzz/artifacts/<target>.
# Ends non-zero when a target crashed, leaked, timed out or ran out of memory;
# a model document on which OpenCV's own reader never finishes or crashes is
# listed as such, not a failure.
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
build=${FUZZ_BUILD_DIR:-$root/build-fuzz}
seconds=${1:-30}
shift || true
targets=("$@")
((${#targets[@]})) || targets=(fuzz_expectation_parser fuzz_check_log fuzz_model_file)
parallel=${FUZZ_PARALLEL:-1}

# Debian's clang and its runtime (libFuzzer and the sanitizers), when missing.
packages=(clang-14 libclang-rt-14-dev cmake ninja-build libopencv-dev python3)
"$root/scripts/install-packages.sh" "${packages[@]}"

CXX=clang++-14 cmake -S "$root/tests/fuzz" -B "$build" -G Ninja >/dev/null
cmake --build "$build"

# The model reader runs in process: a document that never finishes reading
# is caught after a few seconds instead of stalling the run. OpenCV 4.6's
# reader loops forever or crashes on some documents (the program refuses
# those after its trial read in a child process), so that target fuzzes in a
# worker process that libFuzzer restarts after a hang or a crash; each one is
# then tried on OpenCV's reader alone (read_document): an input that OpenCV
# reads to its end is ours, a failure.
options_of() {
    case "$1" in
    fuzz_model_file) echo -timeout=5 -fork=1 -ignore_timeouts=1 -ignore_crashes=1 ;;
    *) echo -timeout=30 ;;
    esac
}

dictionary_of() {
    case "$1" in
    fuzz_model_file) echo "$root/tests/fuzz/model.dict" ;;
    *) echo "$root/tests/fuzz/expectation.dict" ;;
    esac
}

# Runs one target; its libFuzzer output goes to build-fuzz/logs/<target>.log.
run_target() {
    local target=$1 corpus="$build/corpus/$1" artifacts="$build/artifacts/$1/"
    mkdir -p "$corpus" "$artifacts" "$build/logs"
    # A crash report of an earlier run would be counted again.
    rm -f "$artifacts"crash-* "$artifacts"leak-* "$artifacts"timeout-* "$artifacts"oom-* "$artifacts"opencv-*
    local status=0
    # shellcheck disable=SC2046
    "$build/$target" "$corpus" "$root/tests/fuzz/corpus/$target" \
        -dict="$(dictionary_of "$target")" -max_total_time="$seconds" $(options_of "$target") \
        -rss_limit_mb=2048 -print_final_stats=1 -artifact_prefix="$artifacts" \
        >"$build/logs/$target.log" 2>&1 || status=$?
    local finding kind
    for finding in "$artifacts"timeout-* "$artifacts"crash-*; do
        [ -e "$finding" ] || continue
        kind=$(basename "$finding" | cut -d- -f1)
        if timeout 10 "$build/read_document" "$finding" >/dev/null 2>&1; then
            echo "$finding: OpenCV's reader alone reads it to its end: the $kind is ours" >>"$build/logs/$target.log"
        else
            mv "$finding" "${finding/$kind-/opencv-$kind-}"
        fi
    done
    # A worker that went on past a hang or a crash ends with libFuzzer's
    # timeout or error exit code; its findings are judged above.
    if [[ " $(options_of "$target") " == *" -fork=1 "* ]] && { [ "$status" = 70 ] || [ "$status" = 77 ]; }; then
        status=0
    fi
    echo "$status" >"$build/logs/$target.status"
}

pids=()
for target in "${targets[@]}"; do
    run_target "$target" &
    pids+=($!)
    while (($(jobs -rp | wc -l) >= parallel)); do
        wait -n || true
    done
done
wait

failed=0
for target in "${targets[@]}"; do
    log="$build/logs/$target.log"
    executions=$( { sed -n 's/^stat::number_of_executed_units: *//p' "$log"
        sed -n 's/^#\([0-9]*\): cov: .*/\1/p' "$log"; } | tail -n 1)
    opencv=$(find "$build/artifacts/$target" -type f -name 'opencv-*' | wc -l)
    coverage=$(grep -oE 'cov: [0-9]+ ft: [0-9]+' "$log" | tail -n 1)
    crashes=$(find "$build/artifacts/$target" -type f \
        \( -name 'crash-*' -o -name 'leak-*' -o -name 'timeout-*' -o -name 'oom-*' \) | wc -l)
    status=$(cat "$build/logs/$target.status")
    printf '%-26s %ss  executions %s  %s  crashes %s  OpenCV reader hangs or crashes %s  exit %s\n' \
        "$target" "$seconds" "${executions:-?}" "${coverage:-cov: ?}" "$crashes" "$opencv" "$status"
    if [ "$crashes" -ne 0 ] || [ "$status" -ne 0 ]; then
        failed=1
        find "$build/artifacts/$target" -type f | sed 's/^/    /'
        { grep -E '^(==[0-9]+==ERROR|SUMMARY|.*runtime error)' "$log" || true; } | head -n 5 | sed 's/^/    /'
    fi
done
exit "$failed"
