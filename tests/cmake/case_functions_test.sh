#!/usr/bin/env bash
# Builds a small CTest project with add_facepose_case and
# add_facepose_case_folder, runs it with a JUnit report and checks that a
# passing case passes, a failing check fails its test (while test_facepose
# itself exits 0) and that the report says so.
#
#   case_functions_test.sh SOURCE_DIR TEST_FACEPOSE
set -euo pipefail

source_dir=$1 program=$2
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fail() { echo "FAIL: $*"; exit 1; }

model="$source_dir/sample/fixed-model"
image="$source_dir/sample/face.png"
mkdir -p "$work/project" "$work/cases/one" "$work/cases/incomplete"
printf 'Type: numeric-match\nValid data:\n= 45 -22.5 11.25\n' >"$work/good.nkvalid"
printf 'Type: numeric-match\nValid data:\n= 45 -22.5 11\n' >"$work/bad.nkvalid"
cp "$image" "$work/cases/one/FACE.PNG"  # image kinds in any letter case
cp "$work/good.nkvalid" "$work/cases/one/one.nkvalid"
cp "$image" "$work/cases/incomplete/face.png"

cat >"$work/project/CMakeLists.txt" <<CMAKE
cmake_minimum_required(VERSION 3.25)
project(cases NONE)
enable_testing()
include("$source_dir/cmake/FaceposeCases.cmake")
set(FACEPOSE_PROGRAM "$program")
add_facepose_case(good "$model" "$image" "$work/good.nkvalid")
add_facepose_case(bad "$model" "$image" "$work/bad.nkvalid")
add_facepose_case_folder("$work/cases" "$model" PREFIX folder.)
CMAKE

cmake -S "$work/project" -B "$work/build" >"$work/configure.txt" 2>&1 || { cat "$work/configure.txt"; fail "configure"; }
configure_text=$(tr -s ' \n' ' ' <"$work/configure.txt")
grep -q "incomplete: needs one image and one .nkvalid file; skipped" <<<"$configure_text" ||
    fail "the incomplete case folder was not reported"

listed=$(ctest --test-dir "$work/build" -N -L regression | grep -c 'Test *#' || true)
[ "$listed" = 3 ] || fail "expected 3 regression tests (good, bad, folder.one), found $listed"

if ctest --test-dir "$work/build" -L regression --output-junit "$work/junit.xml" >"$work/ctest.txt" 2>&1; then
    cat "$work/ctest.txt"
    fail "ctest passed although the case 'bad' fails its check"
fi
grep -Eq 'good \.+ +Passed' "$work/ctest.txt" || fail "case 'good' did not pass"
grep -Eq 'folder\.one \.+ +Passed' "$work/ctest.txt" || fail "case 'folder.one' did not pass"
grep -Eq 'bad \.+\*+Failed' "$work/ctest.txt" || fail "case 'bad' did not fail"

# The failing case's program exited 0: only the verdict fails it.
(cd "$work" && "$program" -m "$model" -p "$image" -v "$work/bad.nkvalid" >/dev/null 2>&1) ||
    fail "test_facepose exited non-zero on a failed check"

junit="$work/junit.xml"
[ -s "$junit" ] || fail "no JUnit report"
suite=$(tr '\n\t' '  ' <"$junit" | grep -o '<testsuite [^>]*>')
grep -q ' tests="3"' <<<"$suite" || fail "JUnit report does not count 3 tests"
grep -q ' failures="1"' <<<"$suite" || fail "JUnit report does not count 1 failure"
bad_case=$(sed -n '/<testcase name="bad"/,/<\/testcase>/p' "$junit")
grep -q 'status="fail"' <<<"$bad_case" || fail "JUnit report does not mark 'bad' as failed"
grep -q '<failure' <<<"$bad_case" || fail "JUnit report has no failure for 'bad'"
grep -q 'Test failed\.' <<<"$bad_case" || fail "JUnit report of 'bad' lacks the verdict"
good_case=$(sed -n '/<testcase name="good"/,/<\/testcase>/p' "$junit")
[ -n "$good_case" ] || fail "JUnit report lacks 'good'"
grep -q '<failure' <<<"$good_case" && fail "JUnit report marks 'good' as failed"
echo "case functions: ok"
