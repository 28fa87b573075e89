#!/usr/bin/env bash
# Builds the project and runs every test; ends non-zero when any test fails.
#
#   scripts/test.sh           the whole suite in the normal build (build/),
#                             a seconds-long run of the validation benchmark,
#                             again in the sanitizer build (build-asan/,
#                             AddressSanitizer and UndefinedBehaviorSanitizer,
#                             halting on the first report), then a short
#                             bounded run of each fuzz target
#   scripts/test.sh --quick   the normal build's suite only
#
# FUZZ_SECONDS sets the fuzz run per target (default 20; 0 leaves it out).
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
build=${BUILD_DIR:-$root/build}
asan_build=${ASAN_BUILD_DIR:-$root/build-asan}
fuzz_seconds=${FUZZ_SECONDS:-20}
quick=0
[ "${1:-}" = --quick ] && quick=1

# What the bad-input matrix needs besides the build: strace injects its
# faults, python3 writes its images; the suite report is checked in chromium,
# its junit.xml with xmllint.
"$root/scripts/install-packages.sh" strace python3 chromium libxml2-utils

section() { printf '\n==== %s\n' "$*"; }

section "normal build ($build)"
BUILD_DIR=$build "$root/scripts/setup.sh"
ctest --test-dir "$build" --output-on-failure -j "$(nproc)"
((quick)) && exit 0

section "validation benchmark, smoke run (output bytes against a reference)"
BUILD_DIR=$build "$root/bench/validation/validation.sh" --smoke

section "sanitizer build ($asan_build)"
BUILD_DIR=$asan_build "$root/scripts/setup.sh" -DZOR_SANITIZE=ON
# Halt on the first report, leaks included (OpenCV and glog leave nothing
# that LeakSanitizer reports, so there is no suppression list; only the test
# that fails allocations inside OpenCV's dnn turns leak checks off). Two tests
# build a consumer of the installed or another build of the libraries with
# the plain compiler, which cannot link the sanitized libraries, and two limit
# the address space, which AddressSanitizer's shadow memory does not fit in:
# they run in the normal build only.
export ASAN_OPTIONS=halt_on_error=1:detect_leaks=1:strict_string_checks=1:detect_stack_use_after_return=1
export UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1
ctest --test-dir "$asan_build" --output-on-failure -j "$(nproc)" \
    -E '^(network\.link_other_build|regression\.install_and_consume|suite\.hostile\.(memory-pressure|threads-fail))$'

if ((fuzz_seconds > 0)); then
    section "fuzzing, ${fuzz_seconds} s per target"
    FUZZ_PARALLEL=$(nproc) "$root/scripts/fuzz.sh" "$fuzz_seconds"
fi
