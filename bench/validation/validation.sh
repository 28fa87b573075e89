#!/usr/bin/env bash
# Benchmark of validation at scale and of the end-to-end cost of a run.
#
#   bench/validation/validation.sh [--smoke] [--runs N] [--sizes "4 5 6"] [--build DIR]
#
# Needs a built test_facepose in the build folder (default: $BUILD_DIR, else
# build/). Builds its helpers (bench/CMakeLists.txt) in that build and works
# in <build>/bench/work/.
#
# 1. For numeric-match and string-match expectation files of 10^k data lines
#    (k from --sizes), runs `test_facepose -v FILE` with the fixed model and,
#    alternately in the same loop, the baseline program (bench/validation/validation_baseline.cpp: only the
#    text work every such run must do). Before timing, the program's summary
#    and validation log are compared byte for byte with the baseline's; a
#    difference stops the script with status 1. Prints per case the median
#    wall time, the peak RSS, the baseline's median, the ratio to the baseline, the
#    growth against the case ten times smaller, and the peak RSS over the
#    file's size.
# 2. For the bundled sample (and the pose model in sample/pose-model when it
#    is there), times the whole validating run and, measured alone: process
#    start (a run that stops at the missing model file), reading the image,
#    loading the model and running the network (bench/validation/stage_probe.cpp). The
#    rest is the program's own share.
#
# --smoke: sizes 3 and 4, one run each and only the fixed model: a check that
# the script, its helpers and the byte comparison work, in a few seconds.
set -euo pipefail

root=$(cd "$(dirname "$0")/../.." && pwd)
build=${BUILD_DIR:-$root/build}
runs=5
sizes="4 5 6"
smoke=0
while [ $# -gt 0 ]; do
    case $1 in
        --smoke) smoke=1; runs=1; sizes="3 4"; shift ;;
        --runs) runs=$2; shift 2 ;;
        --sizes) sizes=$2; shift 2 ;;
        --build) build=$2; shift 2 ;;
        *) echo "usage: $0 [--smoke] [--runs N] [--sizes \"4 5 6\"] [--build DIR]" >&2; exit 2 ;;
    esac
done
build=$(cd "$build" && pwd)
program=$build/test/src/test_facepose
if [ ! -x "$program" ]; then
    echo "$0: no $program; build the project first" >&2
    exit 2
fi

tools=$build/bench
work=$tools/work
mkdir -p "$tools" "$work"

# Helpers: targets of the build (bench/CMakeLists.txt).
cmake -S "$root" -B "$build" -DFACEPOSE_BENCH=ON >/dev/null
cmake --build "$build" --target run_measured gen_expectation validation_baseline stage_probe >/dev/null

fixed_model=$root/sample/fixed-model
image=$root/sample/face.png

median() { sort -g | awk '{ v[NR] = $1 } END { print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }

# run OUT ERR PROGRAM ARGS...: prints "wall_seconds peak_kB status".
run() { (cd "$work" && "$tools/run_measured" "$1" "$2" -- "${@:3}"); }

# Start-up of the program alone: it stops at the missing model file, after the
# dynamic loader has mapped OpenCV and everything it pulls in.
start_walls=(); start_rss=()
for ((i = 0; i < (runs < 3 ? 3 : runs); i++)); do
    read -r w m status < <(run /dev/null /dev/null "$program" -m "$work/no-model" -p "$image")
    [ "$status" = 1 ] || { echo "$0: the start-up run ended with $status" >&2; exit 1; }
    start_walls+=("$w"); start_rss+=("$m")
done
startup_wall=$(printf '%s\n' "${start_walls[@]}" | median)
startup_rss=$(printf '%s\n' "${start_rss[@]}" | median)
awk -v w="$startup_wall" -v m="$startup_rss" 'BEGIN {
    printf "start-up alone (no model file): %.1f ms, peak RSS %.1f MB\n\n", w * 1e3, m / 1024 }'

printf '%-8s %8s %8s %10s %9s %10s %9s %6s %7s %8s %9s\n' \
    kind lines file_MB wall_ms peak_MB baseline_ms baseline_MB ratio growth rss/file +rss/file
results=()
for kind in numeric string; do
    previous=""
    for k in $sizes; do
        lines=$((10 ** k))
        name=$kind-1e$k
        file=$work/$name.nkvalid
        [ -s "$file" ] || "$tools/gen_expectation" "$kind" "$lines" "$file"
        bytes=$(stat -c %s "$file")

        # Byte comparison against the baseline's reference mode (strtod and
        # printf): the program's summary (after its "Data length", "value"
        # and "test:" lines) and log, and the fast baseline's output and log.
        run "$work/$name.out" "$work/$name.err" "$program" -m "$fixed_model" -p "$image" -v "$file" >/dev/null
        run "$work/$name.baseline.out" /dev/null "$tools/validation_baseline" "$file" "$name.baseline.log" >/dev/null
        run "$work/$name.ref.out" /dev/null "$tools/validation_baseline" --reference "$file" "$name.ref.log" >/dev/null
        summary_lines=$(wc -l <"$work/$name.ref.out")
        if ! tail -n +4 "$work/$name.out" | head -n "$summary_lines" | cmp -s - "$work/$name.ref.out" ||
            ! cmp -s "$work/$name.log" "$work/$name.ref.log"; then
            echo "$0: $name: the program's summary or log differs from the reference" >&2
            exit 1
        fi
        if ! cmp -s "$work/$name.baseline.out" "$work/$name.ref.out" ||
            ! cmp -s "$work/$name.baseline.log" "$work/$name.ref.log"; then
            echo "$0: $name: the baseline's summary or log differs from the reference" >&2
            exit 1
        fi
        rm -f "$work/$name.ref.out" "$work/$name.ref.log"

        walls=(); rss=(); baseline_walls=(); baseline_rss=()
        for ((i = 0; i < runs; i++)); do
            read -r w m _ < <(run "$work/$name.out" "$work/$name.err" "$program" -m "$fixed_model" -p "$image" -v "$file")
            walls+=("$w"); rss+=("$m")
            read -r w m _ < <(run "$work/$name.baseline.out" /dev/null "$tools/validation_baseline" "$file" "$name.baseline.log")
            baseline_walls+=("$w"); baseline_rss+=("$m")
        done
        wall=$(printf '%s\n' "${walls[@]}" | median)
        peak=$(printf '%s\n' "${rss[@]}" | median)
        baseline_wall=$(printf '%s\n' "${baseline_walls[@]}" | median)
        baseline_peak=$(printf '%s\n' "${baseline_rss[@]}" | median)
        growth=$(awk -v w="$wall" -v p="$previous" 'BEGIN { if (p == "") print "-"; else printf "%.2fx", w / p }')
        awk -v kind="$kind" -v lines="$lines" -v bytes="$bytes" -v w="$wall" -v m="$peak" \
            -v fw="$baseline_wall" -v fm="$baseline_peak" -v g="$growth" -v s="$startup_rss" 'BEGIN {
            printf "%-8s %8d %8.1f %10.1f %9.1f %10.1f %9.1f %5.2fx %7s %7.2fx %8.2fx\n",
                kind, lines, bytes / 1e6, w * 1e3, m / 1024, fw * 1e3, fm / 1024, w / fw, g,
                m * 1024 / bytes, (m - s) * 1024 / bytes }'
        results+=("$kind $k $wall $baseline_wall $peak $bytes $growth")
        previous=$wall
        rm -f "$work/$name.out" "$work/$name.baseline.out" "$work/$name.log" "$work/$name.baseline.log"
    done
done

echo
echo "rss/file: peak RSS over the file's size; +rss/file: the same for the peak above start-up."
echo "Targets: numeric at the largest size within 1.5x of the baseline and peak RSS within 4x of"
echo "the file; growth per tenfold size at most 11x."
largest=${sizes##* }
for r in "${results[@]}"; do
    read -r kind k wall baseline_wall peak bytes growth <<<"$r"
    awk -v kind="$kind" -v k="$k" -v largest="$largest" -v w="$wall" -v fw="$baseline_wall" -v m="$peak" \
        -v b="$bytes" -v g="$growth" -v s="$startup_rss" 'BEGIN {
        verdict = ""
        if (g != "-") verdict = sprintf("growth %s %s", g, (g + 0 <= 11) ? "met" : "MISSED")
        if (kind == "numeric" && k == largest)
            verdict = sprintf("%s; ratio %.2fx %s; peak RSS %.2fx of the file %s (above start-up %.2fx)", verdict,
                w / fw, (w / fw <= 1.5) ? "met" : "MISSED", m * 1024 / b, (m * 1024 <= 4 * b) ? "met" : "MISSED",
                (m - s) * 1024 / b)
        if (verdict != "") printf "  %-8s 1e%s: %s\n", kind, k, verdict }'
done

# End-to-end share of the program's own work in a validating run.
echo
printf '%-12s %9s %9s %9s %9s %9s %9s %7s\n' model whole_ms start_ms imread_ms load_ms detect_ms own_ms own_%
models=(fixed-model)
if [ "$smoke" = 0 ] && [ -s "$root/sample/pose-model/light_rpoly_lmp_iter_75000_w_scale.nmodel" ]; then
    models+=(pose-model)
fi
sample_runs=$((runs < 3 ? runs : runs * 4))
for model in "${models[@]}"; do
    whole=(); start=()
    for ((i = 0; i < sample_runs; i++)); do
        read -r w _ status < <(run "$work/sample.out" "$work/sample.err" "$program" -m "$root/sample/$model" -p "$image" -v "$root/sample/face.nkvalid")
        if [ "$status" != 0 ]; then
            echo "$model: the sample run ended with status $status; not measured" >&2
            continue 2
        fi
        whole+=("$w")
        # Process start: the same program stops at the missing model file.
        read -r w _ status < <(run /dev/null /dev/null "$program" -m "$work/no-model" -p "$image" -v "$root/sample/face.nkvalid")
        [ "$status" = 1 ] || { echo "$0: the start-up run ended with $status" >&2; exit 1; }
        start+=("$w")
    done
    whole_s=$(printf '%s\n' "${whole[@]}" | median)
    start_s=$(printf '%s\n' "${start[@]}" | median)
    read -r _ imread_s _ load_s _ detect_s <<<"$("$tools/stage_probe" "$root/sample/$model" "$image" "$sample_runs" | tr '\n' ' ')"
    awk -v m="$model" -v w="$whole_s" -v s="$start_s" -v i="$imread_s" -v l="$load_s" -v d="$detect_s" 'BEGIN {
        own = w - s - i - l - d
        printf "%-12s %9.2f %9.2f %9.2f %9.2f %9.2f %9.2f %6.1f%%\n", m, w * 1e3, s * 1e3, i * 1e3, l * 1e3, d * 1e3, own * 1e3, 100 * own / w }'
done
echo "Target: own share under 10% of the whole run."
rm -f "$work/sample.out" "$work/sample.err" "$work/face.log"
