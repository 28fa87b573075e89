#!/usr/bin/env bash
# facepose_suite against test_facepose on every bundled case that is a case
# folder or fits in one: the regression cases, the astronaut sample and the
# driver cases that validate an expectation file of their own. For each case
# the suite's verdict must be test_facepose's and its validation log the
# same bytes. Then the same suite run with other worker counts and in two
# shards must give the same cases, verdicts and files, and three shards
# joined with --merge the same junit verdicts and report rows.
#
#   suite_matches_test_facepose.sh ROOT SUITE TEST_FACEPOSE
set -u
root=$(realpath "$1") suite=$(realpath "$2") test_facepose=$(realpath "$3")
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
[ -n "${KEEP:-}" ] && trap - EXIT && echo "$work"
failed=0
fail() { echo "FAIL: $*"; failed=1; }

# Case folders, one set per model folder.
add_case() {  # MODEL_TAG NAME IMAGE EXPECTATION
    mkdir -p "$work/cases/$1/$2"
    ln -s "$3" "$work/cases/$1/$2/"
    cp "$4" "$work/cases/$1/$2/"
}
declare -A model_dir=([fixed]=$root/sample/fixed-model [fixed-138]=$root/tests/src/data/fixed-138
                      [pose]=$root/sample/pose-model [moved]=$work/moved-model)
for dir in "$root"/tests/cmake/cases/*/; do
    add_case fixed "regression-$(basename "$dir")" "$(ls "$dir"*.pgm "$dir"*.png 2>/dev/null | head -1)" "$dir"*.nkvalid
done
add_case pose sample-astronaut "$root/sample/photos/astronaut.png" "$root/sample/astronaut.nkvalid"
# A real regression: a fixed-kind model giving the astronaut's recorded pose
# with the pitch 2 degrees higher.
mkdir -p "$work/moved-model"
sed "s/0.5, -0.25, 0.125 ]/$(sed -n 's/^< //p' "$root/sample/astronaut.nkvalid" |
    awk '{ printf "%.9g, %.9g, %.9g ]", $1 / 90, ($2 + 2) / 90, $3 / 90 }')/" \
    "$root/sample/fixed-model/light_rpoly_lmp_iter_75000_w_scale.nmodel" \
    >"$work/moved-model/light_rpoly_lmp_iter_75000_w_scale.nmodel"
add_case moved sample-astronaut-pitch-moved "$root/sample/photos/astronaut.png" "$root/sample/astronaut.nkvalid"
for dir in "$root"/tests/src/cases/*/; do
    mapfile -t args <"$dir/args"
    [ "${#args[@]}" = 6 ] && [ "${args[0]}" = -m ] && [ "${args[2]}" = -p ] && [ "${args[4]}" = -v ] || continue
    expectation=${args[5]/\{case\}/$dir}
    # A case folder's expectation file has a name before ".nkvalid".
    [[ $expectation == *?.nkvalid && $(basename "$expectation") != .* && -f $expectation ]] || continue
    case ${args[1]} in
    '{sample}/fixed-model') tag=fixed ;;
    '{data}/fixed-138') tag=fixed-138 ;;
    *) continue ;;
    esac
    add_case "$tag" "driver-$(basename "$dir")" "${args[3]/\{sample\}/$root/sample}" "$expectation"
done

checked=0
for tag in "${!model_dir[@]}"; do
    cases=$work/cases/$tag
    [ -d "$cases" ] || continue
    "$suite" -m "${model_dir[$tag]}" -c "$cases" -o "$work/report-$tag" -j 2 >"$work/suite-$tag.out" 2>"$work/suite-$tag.err"
    status=$?
    expected_status=0
    for dir in "$cases"/*/; do
        name=$(basename "$dir")
        run=$work/run/$name
        mkdir -p "$run"
        (cd "$run" && "$test_facepose" -m "${model_dir[$tag]}" -p "$(ls "$dir" | grep -v nkvalid | sed "s|^|$dir|")" \
            -v "$(ls "$dir"*.nkvalid)" >stdout 2>stderr)
        case $? in
        0) grep -q '\] Test passed\.$' "$run/stderr" && want=passed || want='failed|error' ;;
        2) want=error ;;
        *) want=unknown ;;
        esac
        [ "$want" = passed ] || expected_status=1
        line=$(grep -E "^[a-z]+ $name \(" "$work/suite-$tag.out")
        [[ ${line%% *} =~ ^($want)$ ]] || fail "$name: suite says '$line', test_facepose: $want"
        logs=("$run"/*.log)
        if [ -e "${logs[0]}" ]; then
            cmp -s "${logs[0]}" "$work/report-$tag/$name/$(basename "${logs[0]}")" ||
                fail "$name: the suite's log differs from test_facepose's $(basename "${logs[0]}")"
        elif ls "$work/report-$tag/$name/"*.log >/dev/null 2>&1; then
            fail "$name: the suite wrote a log where test_facepose wrote none"
        fi
        checked=$((checked + 1))
    done
    [ "$status" = "$expected_status" ] || fail "$tag: suite exit status $status, expected $expected_status"
done
[ "$checked" -ge 15 ] || fail "only $checked cases compared"

# junit.xml: one testcase per case, a failure or an error for each case that
# did not pass, and a failure message that gives the values.
python3 - "$work/report-fixed/junit.xml" "$work/suite-fixed.out" <<'PY' || failed=1
import re, sys
import xml.etree.ElementTree as ET
suite = ET.parse(sys.argv[1]).getroot()
lines = [line.split(' ')[:2] for line in open(sys.argv[2]) if re.match(r'(passed|failed|error) ', line)]
kinds = {'passed': None, 'failed': 'failure', 'error': 'error'}
got = [(case.get('name'), next((child.tag for child in case), None)) for case in suite.iter('testcase')]
want = [(name, kinds[verdict]) for verdict, name in lines]
problems = [] if got == want else ['testcases %r, expected %r' % (got, want)]
if suite.get('tests') != str(len(want)) or suite.get('failures') != str(sum(k == 'failure' for _, k in want)):
    problems.append('testsuite counts %r' % suite.attrib)
for case, want in [('driver-valid-numeric-fail',
                    'roll: expected 11.000000, actual 11.250000, relative difference +2.27%, threshold = (exact)'),
                   ('driver-valid-negative-expected-outside-tolerance',
                    'pitch: expected -30.000000, actual -22.500000, relative difference +25%, threshold < 5% (\u00b11.500000)')]:
    message = suite.find("testcase[@name='%s']/failure" % case).get('message')
    if message != want:
        problems.append('failure message %r' % message)
for problem in problems:
    print('FAIL: junit.xml: ' + problem)
sys.exit(1 if problems else 0)
PY
# The regression names the value that missed, by how much and what was allowed.
python3 - "$work/report-moved/junit.xml" <<'PY' || failed=1
import re, sys
import xml.etree.ElementTree as ET
message = ET.parse(sys.argv[1]).getroot().find("testcase/failure").get('message')
if not re.fullmatch(r'pitch: expected -?\d+\.\d{6}, actual -?\d+\.\d{6}, difference \+2\.0000\d\d, '
                    r'allowed \|diff\| \u2264 1 \+ 0%', message):
    print('FAIL: junit.xml: the moved pitch reads %r' % message)
    sys.exit(1)
PY
grep -q '<td>pitch</td>.*<td class="bad">+2\.0000[0-9][0-9]</td><td>|diff| ≤ 1 + 0%</td>.*failed' \
    "$work/report-moved/report.html" || fail "report.html does not show the moved pitch"

# Worker counts and shards: the same lines (times aside) and the same files.
cases=$work/cases/fixed
untimed() { sed -E 's/ \([0-9]+ ms\)//; s/(time|timestamp)="[0-9.:T-]+"//g; s/<td>[0-9]+ ms<\/td>//' "$@"; }
"$suite" -m "${model_dir[fixed]}" -c "$cases" -o "$work/j1" -j 1 >"$work/j1.out" 2>/dev/null
"$suite" -m "${model_dir[fixed]}" -c "$cases" -o "$work/j3" -j 3 >"$work/j3.out" 2>/dev/null
diff <(untimed "$work/j1.out" | grep -v '^per case\|^report:\|cases:') \
     <(untimed "$work/j3.out" | grep -v '^per case\|^report:\|cases:') || fail "-j 1 and -j 3 print different cases"
for file in junit.xml report.html; do
    diff -q <(untimed "$work/j1/$file") <(untimed "$work/j3/$file") >/dev/null || fail "-j 1 and -j 3 give different $file"
done
diff -r -x junit.xml -x report.html -x results.json -x .facepose_suite-lock "$work/j1" "$work/j3" >/dev/null || fail "-j 1 and -j 3 write different case files"

"$suite" -m "${model_dir[fixed]}" -c "$cases" -o "$work/s0" --shard 0/2 >"$work/s0.out" 2>/dev/null
GTEST_SHARD_INDEX=1 GTEST_TOTAL_SHARDS=2 GTEST_SHARD_STATUS_FILE=$work/shard-status \
    "$suite" -m "${model_dir[fixed]}" -c "$cases" -o "$work/s1" >"$work/s1.out" 2>/dev/null
[ -f "$work/shard-status" ] || fail "no shard status file"
case_lines() { cat "$@" | grep -E '^(passed|failed|error) ' | untimed | sort; }
[ -s "$work/s0.out" ] && [ "$(case_lines "$work/s0.out" | wc -l)" -gt 0 ] &&
    [ "$(case_lines "$work/s1.out" | wc -l)" -gt 0 ] || fail "a shard ran no case"
diff <(case_lines "$work/s0.out" "$work/s1.out" | sort) <(case_lines "$work/j1.out") >/dev/null ||
    fail "the two shards together are not the whole suite"

# Three shards joined with --merge: the verdicts of one run in junit.xml, its
# rows in report.html, and every file the page links inside the merged folder.
for i in 0 1 2; do
    "$suite" -m "${model_dir[fixed]}" -c "$cases" -o "$work/t$i" --shard "$i/3" >/dev/null 2>&1
done
"$suite" --merge "$work/merged" "$work/t0" "$work/t1" "$work/t2" >"$work/merged.out" 2>"$work/merged.err"
[ $? = 1 ] || fail "the merge of shards holding failed cases does not exit 1"
verdicts() {
    python3 -c 'import sys, xml.etree.ElementTree as ET
for case in ET.parse(sys.argv[1]).getroot().iter("testcase"):
    print(case.get("name"), " ".join(child.tag + ":" + (child.get("message") or "") for child in case))' "$1"
}
diff <(verdicts "$work/j1/junit.xml") <(verdicts "$work/merged/junit.xml") >/dev/null ||
    fail "the merged shards' junit.xml gives other verdicts than one run"
rows() { sed -n '/<tbody>/,/<\/tbody>/p' "$1" | untimed; }
diff <(rows "$work/j1/report.html") <(rows "$work/merged/report.html") >/dev/null ||
    fail "the merged shards' report.html rows are not one run's"
overview() { sed -n '/<section id="overview"/,/<\/table>/p' "$1"; }
[ -n "$(overview "$work/merged/report.html")" ] && diff <(overview "$work/j1/report.html") \
    <(overview "$work/merged/report.html") >/dev/null || fail "the merged shards' overview is not one run's"
python3 - "$work/j1/results.json" "$work/merged/results.json" <<'PY' || fail "the merged results.json's cases are not one run's"
import json, sys
def cases(path):
    document = json.load(open(path, encoding='utf-8'))
    for one in document['cases']:
        del one['milliseconds'], one['stages_ms']
    return document['summary'], document['cases']
one, merged = cases(sys.argv[1]), cases(sys.argv[2])
assert len(one[1]) > 3 and one == merged, (one, merged)
PY
rm -rf "$work/t0" "$work/t1" "$work/t2"
for link in $(grep -oE '(href|src)="[^"#]+"' "$work/merged/report.html" | sed -E 's/^[a-z]+="//; s/"$//' | sort -u); do
    [ -f "$work/merged/$(printf '%b' "${link//%/\\x}")" ] || fail "the merged report links $link, which is not in it"
done
xmllint --noout --schema "$root/tests/suite/junit.xsd" "$work/merged/junit.xml" 2>/dev/null ||
    fail "the merged junit.xml does not validate"

# Exit statuses: all passed, bad usage.
"$suite" -m "${model_dir[fixed]}" -c "$cases" -o "$work/one" --filter driver-valid-numeric-pass >/dev/null 2>&1
[ $? = 0 ] || fail "a run of one passing case does not exit 0"
for bad in "-j 0" "--shard 2/2" "--shard 1" "--bogus" "extra"; do
    # shellcheck disable=SC2086
    "$suite" -m "${model_dir[fixed]}" -c "$cases" -o "$work/bad" $bad >/dev/null 2>&1
    [ $? = 255 ] || fail "'$bad' is not bad usage"
done
GTEST_SHARD_INDEX=2 GTEST_TOTAL_SHARDS=2 "$suite" -m "${model_dir[fixed]}" -c "$cases" -o "$work/bad" >/dev/null 2>&1
[ $? = 255 ] || fail "shard index 2 of 2 is not bad usage"

exit $failed
