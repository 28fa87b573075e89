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

precise="$source_dir/tests/src/data/fixed-precision"
image="$source_dir/sample/face.png"

# Values that print differently in single and double precision must still
# read back exactly.
"$recorder" -m "$precise" -p "$image" -o case.nkvalid -k = >record.txt || fail "recording failed"
grep -q '^Recorded case.nkvalid\.$' record.txt || fail "no 'Recorded' line"
grep -q '^= 99 -90000000 2.25000003e-05$' case.nkvalid || { cat case.nkvalid; fail "unexpected data line"; }
grep -q '^# Recorded by record_facepose on ' case.nkvalid || fail "no comment saying what made the file"
"$program" -m "$precise" -p "$image" -v case.nkvalid >run.txt 2>verdict.txt
grep -q '\] Test passed\.' verdict.txt || { cat run.txt verdict.txt; fail "the recorded file does not validate"; }

# By default "<" with a tolerance of 1 degree, written right after
# "Threshold: 0".
"$recorder" -m "$source_dir/sample/fixed-model" -p "$image" -o default.nkvalid >default.txt 2>&1 ||
    fail "default recording failed"
grep -A1 '^Threshold: 0 ' default.nkvalid | grep -q '^Tolerance: 1 ' && grep -q '^< 45 -22.5 11.25$' default.nkvalid ||
    { cat default.nkvalid; fail "unexpected default condition, threshold or tolerance"; }
grep -q '^Tolerance: 1.000000$' default.txt || { cat default.txt; fail "the read-back summary shows no tolerance"; }
grep -q 'may move by' default.txt && fail "a recording with a tolerance printed what a threshold allows"
# -t and --tolerance, 0 included (the pose then passes only exactly).
"$recorder" -m "$source_dir/sample/fixed-model" -p "$image" -o zero.nkvalid -t 0 --tolerance 0 >/dev/null ||
    fail "-t 0 --tolerance 0 was refused"
grep -q '^Threshold: 0 ' zero.nkvalid && grep -q '^Tolerance: 0 ' zero.nkvalid || { cat zero.nkvalid; fail "zeros not recorded"; }
"$recorder" -m "$source_dir/sample/fixed-model" -p "$image" -o some.nkvalid -t 1.5 --tolerance 0.25 >/dev/null ||
    fail "-t 1.5 --tolerance 0.25 was refused"
grep -q '^Threshold: 1.5 ' some.nkvalid && grep -q '^Tolerance: 0.25 ' some.nkvalid || { cat some.nkvalid; fail "-t or --tolerance lost"; }
# --portable: no "Tolerance" line; 2%, raised so that the value nearest 0 may
# move by the tolerance (11.25 gives 5% for 0.5 degrees, 20% for 2.25), never
# above 1000%; each value's allowance is printed, with a warning above 2
# degrees (45 may move by 2.25).
"$recorder" -m "$source_dir/sample/fixed-model" -p "$image" -o portable.nkvalid --portable --tolerance 0.5 >portable.txt 2>portable.err ||
    fail "portable recording failed"
grep -q '^Threshold: 5 ' portable.nkvalid && ! grep -q '^Tolerance' portable.nkvalid ||
    { cat portable.nkvalid; fail "unexpected portable threshold"; }
grep -qx '  roll 11.250000 may move by 0.562 degrees' portable.txt && grep -qx '  yaw 45.000000 may move by 2.250 degrees' portable.txt ||
    { cat portable.txt; fail "no allowance per value"; }
grep -q 'warning: portable.nkvalid: Threshold 5 lets a value move by up to 2.250 degrees' portable.err ||
    { cat portable.err; fail "no warning for a value that may move by more than 2 degrees"; }
"$recorder" -m "$source_dir/sample/fixed-model" -p "$image" -o quiet.nkvalid --portable -t 4 >/dev/null 2>quiet.err &&
    [ ! -s quiet.err ] || { cat quiet.err; fail "a portable threshold within 2 degrees was warned of"; }
"$recorder" -m "$source_dir/sample/fixed-model" -p "$image" -o wide.nkvalid --portable --tolerance 2.25 >/dev/null 2>&1
grep -q '^Threshold: 20 ' wide.nkvalid || { cat wide.nkvalid; fail "--portable ignored --tolerance"; }
"$recorder" -m "$precise" -p "$image" -o tiny.nkvalid --portable >/dev/null 2>&1 || fail "recording a value near 0 failed"
grep -q '^Threshold: 1000 ' tiny.nkvalid || { cat tiny.nkvalid; fail "unexpected threshold for a value near 0"; }

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
echo "a note" >cases/new/notes.txt
cp "$image" cases/old/face.png
echo "# hand-written" >cases/old/expected.nkvalid
if "$recorder" -m "$source_dir/sample/fixed-model" -c cases -k = >/dev/null 2>folder.txt; then
    fail "the folder run hid the refusal"
fi
grep -q '^= 45 -22.5 11.25$' cases/new/face.nkvalid || fail "the new case was not recorded"
grep -q 'cases/new' folder.txt && { cat folder.txt; fail "a stray file in a case drew a message"; }
[ "$(cat cases/old/expected.nkvalid)" = "# hand-written" ] || fail "the old case was overwritten"
"$recorder" -m "$source_dir/sample/fixed-model" -c cases -f -k = >/dev/null || fail "folder run with -f failed"
grep -q '^= 45 -22.5 11.25$' cases/old/expected.nkvalid || fail "the old case was not refreshed"

# The temporary file is new: a link planted at a name the recorder might use
# is not written through, and the file is written whole.
echo victim >victim
ln -s "$work/victim" planted.nkvalid.recording
"$recorder" -m "$source_dir/sample/fixed-model" -p "$image" -o planted.nkvalid >/dev/null || fail "recording failed"
[ "$(cat victim)" = victim ] || fail "a planted link was written through"
[ -f planted.nkvalid ] && [ ! -L planted.nkvalid ] || fail "the expectation file is not a file of its own"
rm -f planted.nkvalid.recording

# Standard output that cannot be written fails the run.
set +e
"$recorder" -m "$source_dir/sample/fixed-model" -p "$image" -o lost.nkvalid >/dev/full 2>lost.txt
status=$?
set -e
[ "$status" = 3 ] && grep -qx 'record_facepose: cannot write standard output: No space left on device' lost.txt ||
    { cat lost.txt; fail "lost standard output gave status $status"; }

# A file that does not read back is never committed: a NaN pose (no NaN
# passes) leaves an existing good file, even with -f, and no new one.
mkdir nan-model
sed 's/0.5, -0.25, 0.125 ]/.nan, -0.25, 0.125 ]/' "$source_dir/sample/fixed-model/light_rpoly_lmp_iter_75000_w_scale.nmodel" \
    >nan-model/light_rpoly_lmp_iter_75000_w_scale.nmodel
before=$(cat case.nkvalid)
if "$recorder" -m nan-model -p "$image" -o case.nkvalid -f >/dev/null 2>nan.txt ||
    "$recorder" -m nan-model -p "$image" -o fresh.nkvalid >/dev/null 2>>nan.txt; then
    fail "a file that fails its read-back was reported as recorded"
fi
grep -q 'case.nkvalid would not read back' nan.txt || { cat nan.txt; fail "no read-back message"; }
[ "$before" = "$(cat case.nkvalid)" ] || fail "a file that fails its read-back replaced a good one"
[ ! -e fresh.nkvalid ] || fail "a file that fails its read-back was committed"

# Without -f, a file that appears while the network runs is kept: the image's
# opening is held back for 3 s by strace while another writer creates it.
if command -v strace >/dev/null; then
    strace -f -qq -o /dev/null -P "$image" -e trace=openat -e inject=openat:delay_exit=3000000 \
        "$recorder" -m "$source_dir/sample/fixed-model" -p "$image" -o racing.nkvalid >/dev/null 2>race.txt &
    sleep 1.5
    echo "# the other writer" >racing.nkvalid
    wait $! && fail "a file created meanwhile was replaced without -f"
    [ "$(cat racing.nkvalid)" = "# the other writer" ] || fail "a file created meanwhile was replaced without -f"
fi
ls ./*.nkvalid.* >/dev/null 2>&1 && fail "a temporary file was left behind: $(ls ./*.nkvalid.*)"

# A case folder with symbolic link loops (as a case and inside a case), and a
# failing case that sorts before a good one: each is skipped with a message,
# the others are recorded, and the folder's status is still a failure.
mkdir -p walk/a-two-images walk/b-good
cp "$image" walk/a-two-images/one.png
cp "$image" walk/a-two-images/two.png
cp "$image" walk/b-good/face.png
ln -s loop walk/loop
ln -s inner walk/b-good/inner
set +e
"$recorder" -m "$source_dir/sample/fixed-model" -c walk -k = >/dev/null 2>walk.txt
status=$?
set -e
[ "$status" = 1 ] || { cat walk.txt; fail "the folder run with skipped cases gave status $status, not 1"; }
grep -q 'walk/loop (.*); skipped\.' walk.txt || { cat walk.txt; fail "no message for the looping case"; }
grep -q 'walk/b-good/inner (.*); skipped\.' walk.txt || { cat walk.txt; fail "no message for the looping entry"; }
grep -q '^= 45 -22.5 11.25$' walk/b-good/face.nkvalid || fail "the good case was not recorded"
# A case with two images alone, before a good one, still fails the run.
mkdir -p two/a-two-images two/b-good
cp walk/a-two-images/*.png two/a-two-images/
cp "$image" two/b-good/face.png
set +e
"$recorder" -m "$source_dir/sample/fixed-model" -c two -k = >/dev/null 2>two.txt
status=$?
set -e
[ "$status" = 1 ] && grep -q 'two/a-two-images must hold one image' two.txt && [ -f two/b-good/face.nkvalid ] ||
    { cat two.txt; fail "a case with two images gave status $status, not 1"; }

# '>' with a threshold or a tolerance above 0 fails the recorded pose by
# construction; with both 0 it passes.
for args in "-t 1" "-t 0" "-t 0 --tolerance 0.1" "--portable -t 1"; do
    set +e
    # shellcheck disable=SC2086
    "$recorder" -m x -p y -o z -k '>' $args >/dev/null 2>greater.txt
    status=$?
    set -e
    [ "$status" = 255 ] && grep -q "recorded pose would fail its own file; give -t 0" greater.txt ||
        fail "-k '>' $args was not refused"
done
grep -q "give -t 0\.$" greater.txt || fail "the portable refusal asks for a tolerance"
for args in "-t 0 --tolerance 0" "--portable -t 0"; do
    # shellcheck disable=SC2086
    "$recorder" -m "$source_dir/sample/fixed-model" -p "$image" -o greater.nkvalid -f -k '>' $args >/dev/null ||
        fail "-k '>' $args was refused"
done

# Bad usage.
for args in "-m x" "-m x -p y" "-m x -p y -o z -k >=" "-m x -p y -o z -c w" "-m x -p y -o z -t abc" \
    "-m x -p y -o z -t nan" "-m x -p y -o z -t inf" "-m x -p y -o z -t -1" "-m x -p y -o z --tolerance -0.5" \
    "-m x -p y -o z --tolerance inf" "-m x -p y -o z --tolerance 1x" "-m x -p y -o z --tolerance"; do
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
