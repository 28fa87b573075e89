#!/usr/bin/env bash
# How far the sample photos' pose moves between machines: runs test_facepose
# on each photo under the settings that change the floating-point work (one
# OpenCV thread through the CPU affinity, OpenCV's SIMD kernels switched off
# through OPENCV_CPU_DISABLE as on older CPUs) in each build given, prints
# every pose, then per value the spread: its largest absolute difference in
# degrees and its largest relative difference |a - b| / |b| in percent, over
# every pair of runs (a recording made in one setting, checked in another).
#
#   bench/accuracy/pose_spread.sh [-m MODEL_DIR] [-p IMAGE]... [BUILD_DIR...]
#
# The model defaults to the sample's pose model, the images to the sample
# photos, the build to build/.
#
# OpenCV's thread count does not come from the environment here (Debian
# builds it on TBB, which ignores OPENCV_FOR_THREADS_NUM): taskset -c 0
# gives it one thread, the machine's cores give it several.
set -euo pipefail

root=$(cd "$(dirname "$0")/../.." && pwd)
model="$root/sample/pose-model"
photos=()
while [ "${1:-}" = -m ] || [ "${1:-}" = -p ]; do
    [ $# -ge 2 ] || { echo "pose_spread: $1 needs an argument" >&2; exit 2; }
    if [ "$1" = -m ]; then model=$2; else photos+=("$2"); fi
    shift 2
done
[ ${#photos[@]} -gt 0 ] || photos=("$root/sample/photos/astronaut.png" "$root/sample/photos/camera.png")
builds=("$@")
[ ${#builds[@]} -gt 0 ] || builds=("$root/build")

# name|command prefix
all_simd="SSE3,SSSE3,SSE4.1,POPCNT,SSE4.2,FP16,AVX,AVX2,FMA3,AVX512-SKX"
settings=(
    "default|"
    "one thread|taskset -c 0"
    "no AVX-512|env OPENCV_CPU_DISABLE=AVX512-SKX"
    "no AVX2, FMA3|env OPENCV_CPU_DISABLE=AVX2,FMA3"
    "AVX only|env OPENCV_CPU_DISABLE=AVX2,FMA3,AVX512-SKX"
    "SSE2 only|env OPENCV_CPU_DISABLE=$all_simd"
    "SSE2 only, one thread|taskset -c 0 env OPENCV_CPU_DISABLE=$all_simd"
)

runs=$(mktemp)
trap 'rm -f "$runs"' EXIT
printf '%-12s %-24s %-16s %12s %12s %12s\n' build setting photo yaw pitch roll
for build in "${builds[@]}"; do
    program="$build/test/src/test_facepose"
    [ -x "$program" ] || { echo "pose_spread: no $program (build it first)" >&2; exit 1; }
    for setting in "${settings[@]}"; do
        name=${setting%%|*}
        read -r -a prefix <<<"${setting#*|}"
        for photo in "${photos[@]}"; do
            line=$("${prefix[@]}" "$program" -m "$model" \
                -p "$photo" 2>/dev/null | grep '^value: result ') || {
                echo "pose_spread: no pose for $photo in $build ($name)" >&2
                exit 1
            }
            read -r yaw pitch roll <<<"$(echo "${line#value: result }" | tr -d ,)"
            printf '%-12s %-24s %-16s %12s %12s %12s\n' \
                "$(basename "$build")" "$name" "$(basename "$photo")" "$yaw" "$pitch" "$roll"
            echo "$(basename "$photo") $yaw $pitch $roll" >>"$runs"
        done
    done
done

echo
awk '
{
    n[$1]++
    for (v = 1; v <= 3; v++) value[$1, n[$1], v] = $(v + 1)
}
function abs(x) { return x < 0 ? -x : x }
END {
    split("yaw pitch roll", names, " ")
    printf "%-16s %-6s %14s %14s\n", "photo", "value", "spread (deg)", "spread (%)"
    worst = 0
    for (photo in n) {
        for (v = 1; v <= 3; v++) {
            absolute = 0; relative = 0
            for (i = 1; i <= n[photo]; i++) {
                for (j = 1; j <= n[photo]; j++) {
                    d = abs(value[photo, i, v] - value[photo, j, v])
                    if (d > absolute) absolute = d
                    if (value[photo, j, v] != 0 && 100 * d / abs(value[photo, j, v]) > relative)
                        relative = 100 * d / abs(value[photo, j, v])
                }
            }
            printf "%-16s %-6s %14.6f %14.4f\n", photo, names[v], absolute, relative
            if (relative > worst) worst = relative
        }
    }
    printf "largest relative spread: %.4f%%\n", worst
}' "$runs"
