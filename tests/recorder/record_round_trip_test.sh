#!/usr/bin/env bash
# record_facepose end to end (its policy is unit-tested in recorder_test.cpp):
# recorded files validate with test_facepose, existing files are kept
# unless -f is given, names test_facepose would refuse and the image itself
# are never written, a case folder goes on past broken cases with every
# message naming its case, and --update accepts a planted pose change into
# only the files that need it, keeping their own keys and conditions.
#
#   record_round_trip_test.sh SOURCE_DIR RECORD_FACEPOSE TEST_FACEPOSE FACEPOSE_SUITE
set -euo pipefail

source_dir=$1 recorder=$2 program=$3 suite=$4
work=$(mktemp -d)
trap 'chmod -R u+w "$work"; rm -rf "$work"' EXIT
fail() { echo "FAIL: $*"; exit 1; }
cd "$work"

fixed="$source_dir/sample/fixed-model"   # the pose 45, -22.5, 11.25 for any image
precise="$source_dir/tests/src/data/fixed-precision"
image="$source_dir/sample/face.png"
undecodable="$source_dir/tests/src/data/not-an-image.png"
# Runs the recorder, keeping its status in $status and its output in
# $1.out and $1.err.
run() {
    local name=$1
    shift
    set +e
    "$recorder" "$@" >"$name.out" 2>"$name.err"
    status=$?
    set -e
}

# Values that print differently in single and double precision must still
# read back exactly.
"$recorder" -m "$precise" -p "$image" -o case.nkvalid -k = >record.txt || fail "recording failed"
grep -qx 'Recorded case.nkvalid\.' record.txt || fail "no 'Recorded' line"
grep -q '^= 99 -90000000 2.25000003e-05$' case.nkvalid || { cat case.nkvalid; fail "unexpected data line"; }
"$program" -m "$precise" -p "$image" -v case.nkvalid >run.txt 2>verdict.txt
grep -q '\] Test passed\.' verdict.txt || { cat run.txt verdict.txt; fail "the recorded file does not validate"; }

# By default "<" with a tolerance of 1 degree; the validator's summary of
# the file read back only with --verbose.
run default -m "$fixed" -p "$image" -o default.nkvalid
grep -A1 '^Threshold: 0 ' default.nkvalid | grep -q '^Tolerance: 1 ' && grep -q '^< 45 -22.5 11.25$' default.nkvalid ||
    { cat default.nkvalid; fail "unexpected default condition, threshold or tolerance"; }
[ "$(cat default.out)" = "Recorded default.nkvalid." ] || { cat default.out; fail "more than the 'Recorded' line"; }
run verbose -m "$fixed" -p "$image" -o verbose.nkvalid -t 1.5 --tolerance 0.25 --verbose
grep -q '^Threshold: 1.5 ' verbose.nkvalid && grep -q '^Tolerance: 0.25 ' verbose.nkvalid ||
    { cat verbose.nkvalid; fail "-t or --tolerance lost"; }
grep -qx 'Tolerance: 0.250000' verbose.out || { cat verbose.out; fail "--verbose shows no summary"; }
# --portable: no "Tolerance" line, each value's allowance printed, a warning
# above 2 degrees.
run portable -m "$fixed" -p "$image" -o portable.nkvalid --portable --tolerance 0.5
grep -q '^Threshold: 5 ' portable.nkvalid && ! grep -q '^Tolerance' portable.nkvalid ||
    { cat portable.nkvalid; fail "unexpected portable threshold"; }
grep -qx '  yaw 45.000000 may move by 2.250 degrees' portable.out &&
    grep -q 'warning: portable.nkvalid: Threshold 5 ' portable.err || { cat portable.*; fail "no allowances"; }

# No overwrite without -f: the file stays as it was; with -f it is replaced.
before=$(cat case.nkvalid)
run kept -m "$fixed" -p "$image" -o case.nkvalid
[ "$status" = 1 ] && grep -q 'case.nkvalid exists; pass -f to overwrite it.' kept.err || fail "no refusal"
[ "$before" = "$(cat case.nkvalid)" ] || fail "the refused file changed"
"$recorder" -m "$fixed" -p "$image" -o case.nkvalid -f -t 2.5 >/dev/null || fail "-f did not overwrite"
grep -q '^< 45 -22.5 11.25$' case.nkvalid && grep -q '^Threshold: 2.5 ' case.nkvalid || fail "-f wrote no new file"

# A name test_facepose refuses, and the image itself (also through -f), are
# never written.
cp "$image" face.png
cp face.png face-before.png
run bad-name -m "$fixed" -p "$image" -o out.txt
[ "$status" = 1 ] && [ ! -e out.txt ] && grep -q 'out.txt: the name does not end in .nkvalid' bad-name.err ||
    { cat bad-name.err; fail "out.txt was accepted (status $status)"; }
run itself -m "$fixed" -p face.png -o face.png -f
[ "$status" = 1 ] && cmp -s face.png face-before.png || { cat itself.err; fail "the image was its own output"; }
ln face.png same.nkvalid
run hard-link -m "$fixed" -p face.png -o same.nkvalid -f
[ "$status" = 1 ] && grep -q 'same.nkvalid: it is the image itself; not written' hard-link.err &&
    cmp -s face.png face-before.png || { cat hard-link.err; fail "the image was overwritten through a second name"; }

mkdir folder.nkvalid
run folder-name -m "$fixed" -p "$image" -o folder.nkvalid -f
[ "$status" = 1 ] && grep -q 'folder.nkvalid is not a regular file; it is left as it is.' folder-name.err ||
    { cat folder-name.err; fail "a folder as output gave status $status"; }

# The temporary file is new: a link planted at a name the recorder might use
# is not written through.
echo victim >victim
ln -s "$work/victim" planted.nkvalid.recording
"$recorder" -m "$fixed" -p "$image" -o planted.nkvalid >/dev/null || fail "recording failed"
[ "$(cat victim)" = victim ] && [ -f planted.nkvalid ] && [ ! -L planted.nkvalid ] || fail "a planted link was followed"
rm -f planted.nkvalid.recording

# Standard output that cannot be written fails the run.
run lost -m "$fixed" -p "$image" -o lost.nkvalid
"$recorder" -m "$fixed" -p "$image" -o lost.nkvalid -f >/dev/full 2>lost.err && fail "lost output gave status 0"
grep -qx 'record_facepose: cannot write standard output: No space left on device' lost.err || { cat lost.err; fail "no message"; }

# A file that does not read back is never committed: a NaN pose (no NaN
# passes) leaves an existing good file, even with -f.
mkdir nan-model
sed 's/0.5, -0.25, 0.125 ]/.nan, -0.25, 0.125 ]/' "$fixed/light_rpoly_lmp_iter_75000_w_scale.nmodel" \
    >nan-model/light_rpoly_lmp_iter_75000_w_scale.nmodel
before=$(cat case.nkvalid)
run nan -m nan-model -p "$image" -o case.nkvalid -f
[ "$status" = 1 ] && grep -q 'case.nkvalid would not read back' nan.err || { cat nan.err; fail "NaN pose gave status $status"; }
[ "$before" = "$(cat case.nkvalid)" ] || fail "a file that fails its read-back replaced a good one"

# No pose for the one image: status 2, as test_facepose, and no file.
run no-pose -m "$fixed" -p "$undecodable" -o no-pose.nkvalid
[ "$status" = 2 ] && [ ! -e no-pose.nkvalid ] || { cat no-pose.err; fail "no pose gave status $status"; }

# Without -f, a file that appears while the network runs is kept: the image's
# opening is held back for 3 s by strace while another writer creates it.
if command -v strace >/dev/null; then
    strace -f -qq -o /dev/null -P "$image" -e trace=openat -e inject=openat:delay_exit=3000000 \
        "$recorder" -m "$fixed" -p "$image" -o racing.nkvalid >/dev/null 2>race.txt &
    sleep 1.5
    echo "# the other writer" >racing.nkvalid
    wait $! && fail "a file created meanwhile was replaced without -f"
    [ "$(cat racing.nkvalid)" = "# the other writer" ] || fail "a file created meanwhile was replaced without -f"
fi
ls ./*.nkvalid.* >/dev/null 2>&1 && fail "a temporary file was left behind: $(ls ./*.nkvalid.*)"

# A case folder: a new case, an old one (kept without -f), broken ones (a
# truncated image, two images, symbolic link loops as a case and
# inside a case) and a plain file beside them (passed over). The run goes on
# past the broken ones, every message names its case, one closing line.
mkdir -p cases/new cases/old cases/broken cases/two
cp "$image" cases/new/face.png
echo "a note" >cases/new/notes.txt
cp "$image" cases/old/face.png
echo "# hand-written" >cases/old/expected.nkvalid
head -c 100 "$image" >cases/broken/face.png   # libpng says "Read Error"
cp "$image" cases/two/one.png
cp "$image" cases/two/two.png
echo "a note" >cases/notes.txt
ln -s loop cases/loop
ln -s inner cases/new/inner
run folder -m "$fixed" -c cases -k =
[ "$status" = 1 ] || { cat folder.*; fail "a folder with broken cases gave status $status"; }
grep -q '^= 45 -22.5 11.25$' cases/new/face.nkvalid || fail "the new case was not recorded"
[ "$(cat cases/old/expected.nkvalid)" = "# hand-written" ] || fail "the old case was overwritten"
[ "$(tail -n 1 folder.out)" = "1 recorded, 1 kept (exists; -f to overwrite), 4 could not run" ] ||
    { cat folder.out; fail "unexpected closing line"; }
grep -q 'Type: 2' folder.out && fail "the validator's summary was printed without --verbose"
grep -qx 'record_facepose: cases/broken: libpng error: Read Error' folder.err &&
    grep -qx 'record_facepose: cases/broken: the network returned 0 values; 139 are needed.' folder.err &&
    grep -q '^record_facepose: cases/two: must hold one image' folder.err &&
    grep -q '^record_facepose: cases/loop: cannot read it (.*); skipped\.' folder.err &&
    grep -q '^record_facepose: cases/new/inner: cannot read it (.*); skipped\.' folder.err ||
    { cat folder.err; fail "a broken case without its message"; }
grep -v '^record_facepose: cases/[a-z/]*: ' folder.err && fail "a message names no case"
# Once the broken cases are gone, a new case is recorded, the old ones are
# kept and the run passes; -f records them all again.
rm -r cases/broken cases/two cases/loop cases/new/inner
mkdir cases/added
cp "$image" cases/added/face.png
run again -m "$fixed" -c cases -k =
[ "$status" = 0 ] && [ "$(tail -n 1 again.out)" = "1 recorded, 2 kept (exists; -f to overwrite), 0 could not run" ] &&
    [ -f cases/added/face.nkvalid ] || { cat again.*; fail "re-running after adding a case gave status $status"; }
run forced -m "$fixed" -c cases -f -k =
[ "$status" = 0 ] && grep -q '^= 45 -22.5 11.25$' cases/old/expected.nkvalid || fail "-f did not refresh the old case"

# --update: cases recorded, then hand-set (a wider tolerance, "=", a
# comment on the data line); the model's pitch moves by +2.8125 degrees
# (-0.25 -> -0.21875 of 90). Only the files the new pose fails are
# recorded again, their header lines byte-identical; a passing file is not
# touched; a read-only file and a case that cannot run are reported and left.
mkdir moved
sed 's/0.5, -0.25, 0.125 ]/0.5, -0.21875, 0.125 ]/' "$fixed/light_rpoly_lmp_iter_75000_w_scale.nmodel" \
    >moved/light_rpoly_lmp_iter_75000_w_scale.nmodel
for name in wide default exact readonly broken; do
    mkdir -p "upd/$name"
    cp "$image" "upd/$name/face.png"
done
"$recorder" -m "$fixed" -c upd >/dev/null || fail "recording the update cases failed"
sed -i 's/^Tolerance: 1 .*/Tolerance: 3    # hand-set/' upd/wide/face.nkvalid
sed -i 's/^< \(.*\)$/=\t\1   # exact/' upd/exact/face.nkvalid
chmod a-w upd/readonly/face.nkvalid
cp "$undecodable" upd/broken/face.png
for name in wide default exact readonly broken; do
    sed '/^Valid data/q' "upd/$name/face.nkvalid" >"upd-$name.header"
    cp -p "upd/$name/face.nkvalid" "upd-$name.before"
done
stamp() { stat -c '%i %y' "$1"; }
wide_stamp=$(stamp upd/wide/face.nkvalid)
run update -m moved -c upd --update
[ "$status" = 1 ] && [ "$(tail -n 1 update.out)" = "2 updated, 1 still pass, 1 could not run, 1 not updated" ] ||
    { cat update.*; fail "--update gave status $status"; }
grep -qx 'Updated upd/default/face.nkvalid: yaw 45.000000 -> 45.000000, pitch -22.500000 -> -19.687500, roll 11.250000 -> 11.250000' \
    update.out || { cat update.out; fail "no old and new values"; }
grep -q '^record_facepose: upd/readonly: upd/readonly/face.nkvalid is read-only' update.err &&
    grep -q '^record_facepose: upd/broken: no pose; upd/broken/face.nkvalid is left as it was' update.err ||
    { cat update.err; fail "no message for the read-only file or the broken case"; }
grep -q '^< 45 -19.6875 11.25$' upd/default/face.nkvalid && grep -q '^=	45 -19.6875 11.25   # exact$' upd/exact/face.nkvalid ||
    { cat upd/*/face.nkvalid; fail "the values were not replaced, or the condition or comment was lost"; }
for name in default exact; do
    sed '/^Valid data/q' "upd/$name/face.nkvalid" | cmp -s - "upd-$name.header" || fail "upd/$name: a header line changed"
done
for name in wide readonly broken; do
    cmp -s "upd/$name/face.nkvalid" "upd-$name.before" || fail "upd/$name was changed"
done
[ "$(stamp upd/wide/face.nkvalid)" = "$wide_stamp" ] || fail "the passing file was replaced"
# With the broken case gone and the file writable, the suite passes on the
# moved model; --all --filter records a passing case again.
rm -r upd/broken
chmod u+w upd/readonly/face.nkvalid
run update2 -m moved -c upd --update
[ "$status" = 0 ] && [ "$(tail -n 1 update2.out)" = "1 updated, 3 still pass, 0 could not run" ] ||
    { cat update2.*; fail "the second --update gave status $status"; }
"$suite" -m moved -c upd -o report >suite.txt 2>&1 || { cat suite.txt; fail "the suite fails after --update"; }
run all -m moved -c upd --update --all --filter wid
[ "$(tail -n 1 all.out)" = "1 updated, 0 still pass, 0 could not run" ] && grep -q '^< 45 -19.6875 11.25$' upd/wide/face.nkvalid &&
    grep -qx 'Tolerance: 3    # hand-set' upd/wide/face.nkvalid || { cat all.out upd/wide/face.nkvalid; fail "--all --filter"; }

for help in -h --help; do
    "$recorder" "$help" >help.txt 2>help.err || fail "$help ended with status $?"
    grep -q '^Usage: record_facepose ' help.txt && [ ! -s help.err ] || fail "$help printed no usage on standard output"
done
echo "record round trip: ok"
