#!/usr/bin/env bash
# Installs the project into a temporary prefix, then builds a small consumer
# project that finds the validator package, links zor::validator, and
# registers a case with add_facepose_case against the installed program. The
# consumer passes a temporary as the path, keeps the validator quiet on request
# and loads none of the network's libraries.
#
#   install_test.sh SOURCE_DIR BUILD_DIR
set -euo pipefail

source_dir=$1 build_dir=$2
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fail() { echo "FAIL: $*"; exit 1; }

cmake --install "$build_dir" --prefix "$work/prefix" >/dev/null
for file in bin/test_facepose bin/record_facepose lib/libzor_facepose.so.1 lib/libzor_networks_core.so \
            lib/libzor_networks_utils.so lib/libzor_validator.a include/zor/validator/result_validator.h \
            include/zor/network/facepose.h lib/cmake/zor_validator/zor_validatorConfig.cmake; do
    [ -e "$work/prefix/$file" ] || fail "not installed: $file"
done
! grep -rlE 'namespace detail|text_scan\.h' "$work/prefix/include/zor" || fail "the installed headers carry internals"
libraries=$(ldd "$work/prefix/bin/test_facepose")
grep -qF "libzor_facepose.so.1 => $work/prefix/bin/../lib/" <<<"$libraries" ||
    fail "the installed program does not load the installed network library"

cmake -S "$source_dir/tests/cmake/consumer" -B "$work/consumer" -G Ninja \
      -DCMAKE_PREFIX_PATH="$work/prefix" -DSAMPLE_DIR="$source_dir/sample" >"$work/configure.txt" 2>&1 ||
    { cat "$work/configure.txt"; fail "the consumer project does not configure"; }
cmake --build "$work/consumer" >"$work/build.txt" 2>&1 || { cat "$work/build.txt"; fail "the consumer does not build"; }

printf 'Type: numeric-match\nThreshold: 10\nValid data:\n< 1 2 3\n' >"$work/numbers.nkvalid"
cd "$work/consumer"
if readelf -d check_numbers | grep -F NEEDED | grep -q zor; then
    fail "linking zor::validator pulled in a network library: $(readelf -d check_numbers | grep zor)"
fi
printed=$(./check_numbers "$work/numbers.nkvalid" 1.05 2 3) || fail "numbers within tolerance were refused"
grep -qx 'Type: 2' <<<"$printed" && grep -qx 'Log written to check_numbers.log.' <<<"$printed" ||
    fail "the validator did not print its summary and log line: $printed"
rm check_numbers.log
if quiet=$(./check_numbers -q "$work/numbers.nkvalid" 1.5 2 3); then
    fail "numbers outside the tolerance passed"
fi
[ -z "$quiet" ] || fail "the quiet validator printed: $quiet"
grep -q '\[FAILURE\] index: 0. msg: Threshold exceeded. Runtime value: 1.500000 2.000000 3.000000' check_numbers.log ||
    fail "the consumer's log lacks the failure"

ctest --test-dir "$work/consumer" --output-on-failure >"$work/ctest.txt" 2>&1 ||
    { cat "$work/ctest.txt"; fail "the case registered against the installed program failed"; }
echo "install: ok"
