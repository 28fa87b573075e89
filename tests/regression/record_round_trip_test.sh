#!/usr/bin/env bash
# record_facepose: a recorded expectation validates with test_facepose under
# "=" (for a model with exact results), an existing file is kept unless -f is given, and a case folder is
# recorded case by case.
#
#   record_round_trip_test.sh SOURCE_DIR RECORD_FACEPOSE TEST_FACEPOSE
set -euo pipefail

source_dir=$1 recorder=$2 program=$3
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fail() { echo "FAIL: $*"; exit 1; }
cd "$work"

precise="$source_dir/tests/driver/data/fixed-precision"
image="$source_dir/sample/face.png"

# Values that print differently in single and double precision must still
# read back exactly.
"$recorder" -m "$precise" -p "$image" -o case.nkvalid -k = >record.txt || fail "recording failed"
grep -q '^Recorded case.nkvalid\.$' record.txt || fail "no 'Recorded' line"
grep -q '^= 99 -90000000 2.25000003e-05$' case.nkvalid || { cat case.nkvalid; fail "unexpected data line"; }
grep -q '^# Recorded by record_facepose on ' case.nkvalid || fail "no comment saying what made the file"
"$program" -m "$precise" -p "$image" -v case.nkvalid >run.txt 2>verdict.txt
grep -q '\] Test passed\.' verdict.txt || { cat run.txt verdict.txt; fail "the recorded file does not validate"; }

# No overwrite without -f: the file stays as it was.
before=$(cat case.nkvalid)
if "$recorder" -m "$source_dir/sample/fixed-model" -p "$image" -o case.nkvalid >/dev/null 2>refusal.txt; then
    fail "an existing file was overwritten without -f"
fi
grep -q 'case.nkvalid exists; pass -f to overwrite it.' refusal.txt || fail "no refusal message"
[ "$before" = "$(cat case.nkvalid)" ] || fail "the refused file changed"

# With -f, a chosen condition and threshold.
"$recorder" -m "$source_dir/sample/fixed-model" -p "$image" -o case.nkvalid -f -k '<' -t 2.5 >/dev/null ||
    fail "-f did not overwrite"
grep -q '^< 45 -22.5 11.25$' case.nkvalid || fail "condition not recorded"
grep -q '^Threshold: 2.5 ' case.nkvalid || fail "threshold not recorded"
ls case.nkvalid.* >/dev/null 2>&1 && fail "a temporary file was left behind"

# A case folder: one case without an expectation yet, one with one (kept
# without -f, so the folder run reports a failure but records the other).
mkdir -p cases/new cases/old
cp "$image" cases/new/face.png
cp "$image" cases/old/face.png
echo "# hand-written" >cases/old/expected.nkvalid
if "$recorder" -m "$source_dir/sample/fixed-model" -c cases -k = >/dev/null 2>folder.txt; then
    fail "the folder run hid the refusal"
fi
grep -q '^= 45 -22.5 11.25$' cases/new/face.nkvalid || fail "the new case was not recorded"
[ "$(cat cases/old/expected.nkvalid)" = "# hand-written" ] || fail "the old case was overwritten"
"$recorder" -m "$source_dir/sample/fixed-model" -c cases -f -k = >/dev/null || fail "folder run with -f failed"
grep -q '^= 45 -22.5 11.25$' cases/old/expected.nkvalid || fail "the old case was not refreshed"

# Bad usage.
for args in "-m x" "-m x -p y" "-m x -p y -o z -k >=" "-m x -p y -o z -c w" "-m x -p y -o z -t abc"; do
    set +e
    # shellcheck disable=SC2086
    "$recorder" $args >/dev/null 2>&1
    status=$?
    set -e
    [ "$status" = 255 ] || fail "'$args' gave status $status, not the usage text"
done
for help in -h --help; do
    "$recorder" "$help" >help.txt 2>help.err || fail "$help ended with status $?"
    grep -q '^Usage: record_facepose ' help.txt || fail "$help printed no usage on standard output"
    [ ! -s help.err ] || fail "$help wrote to standard error"
done
echo "record round trip: ok"
