#!/usr/bin/env bash
# A pose recorded with record_facepose's default condition and threshold
# still passes where the floating-point work differs, as on another machine:
# with OpenCV on one thread, and with OpenCV's SIMD kernels switched off down
# to its SSE2 baseline.
#
#   recording_holds_test.sh SOURCE_DIR RECORD_FACEPOSE TEST_FACEPOSE
set -euo pipefail

source_dir=$1 recorder=$2 program=$3
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fail() { echo "FAIL: $*"; exit 1; }
cd "$work"

model="$source_dir/sample/pose-model"
settings=(
    "taskset -c 0"
    "env OPENCV_CPU_DISABLE=AVX512-SKX"
    "env OPENCV_CPU_DISABLE=AVX2,FMA3,AVX512-SKX"
    "env OPENCV_CPU_DISABLE=SSE3,SSSE3,SSE4.1,POPCNT,SSE4.2,FP16,AVX,AVX2,FMA3,AVX512-SKX"
)
for photo in astronaut camera; do
    image="$source_dir/sample/photos/$photo.png"
    "$recorder" -m "$model" -p "$image" -o "$photo.nkvalid" >/dev/null || fail "recording $photo failed"
    for setting in "${settings[@]}"; do
        read -r -a prefix <<<"$setting"
        "${prefix[@]}" "$program" -m "$model" -p "$image" -v "$photo.nkvalid" >run.txt 2>verdict.txt
        grep -q '\] Test passed\.' verdict.txt || {
            cat "$photo.nkvalid" run.txt verdict.txt
            fail "$photo, recorded by default, fails under: $setting"
        }
    done
done
echo "recording holds: ok"
