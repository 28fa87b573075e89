#!/usr/bin/env bash
# facepose_suite as the place where a model change is reviewed: planted
# changes of known size, the overview's figures against figures computed
# from results.json alone, the histograms, the order of the failed cases,
# a baseline model beside the new one and the comparison with the previous
# run. One row per line of review_rows.txt beside this script, each a
# function below.
#
#   suite_review_test.sh ROOT SUITE [ROW...]   (default: every row of the list)
#   suite_review_test.sh ROOT SUITE --registered N   (N tests registered: one per listed row?)
set -u
source "$(dirname "$0")/../support/table_rows.sh"
table_start "$1" "$2"
shift 2
model_name=light_rpoly_lmp_iter_75000_w_scale.nmodel

# S ARGS...: the suite, its output in $work/out and $work/err, its status in $status.
S() {
    timeout -k 5 120 "$suite" "$@" >"$work/out" 2>"$work/err" </dev/null
    status=$?
}
status_is() { [ "$status" = "$1" ] || fail "exit status $status, expected $1: $(head -3 "$work/err")"; }
says() { grep -qaF -- "$2" "$work/$1" || fail "$1 does not say: $2"; }

# fixed_model DIR YAW PITCH ROLL: a fixed-kind model that gives this pose for every image.
fixed_model() {
    mkdir -p "$1"
    sed "s/0.5, -0.25, 0.125 ]/$(awk -v y="$2" -v p="$3" -v r="$4" \
        'BEGIN { printf "%.9g, %.9g, %.9g ]", y / 90, p / 90, r / 90 }')/" "$fixed/$model_name" >"$1/$model_name"
    cmp -s "$1/$model_name" "$fixed/$model_name" && [ "$2 $3 $4" != "45 -22.5 11.25" ] && fail "model $1 unchanged"
}
# pose_case DIR YAW PITCH ROLL [TOLERANCE [IMAGE]]: a case expecting this pose.
pose_case() {
    mkdir -p "$1"
    cp "${6:-$root/sample/face.png}" "$1/"
    printf 'Type: numeric-match\nNums to Check: 1\nThreshold: 0\nTolerance: %s\nValid data:\n< %s %s %s\n' \
        "${5:-1}" "$2" "$3" "$4" >"$1/case.nkvalid"
}

# check_overview REPORT: the overview's figures, the histograms and the case
# order of REPORT/report.html against what REPORT/results.json alone gives;
# leaves those figures in $work/figures.json ({angle: {count, mean, median,
# largest, largest_case, past}}).
check_overview() {
    python3 - "$1/results.json" "$1/report.html" "$work/figures.json" <<'PY' || fail "overview of $1"
import json, sys
from html.parser import HTMLParser
results = json.load(open(sys.argv[1], encoding='utf-8'))
assert results['schema'] == 'facepose_suite results' and results['version'] == 1
against = results['overview_against']
angles = ['yaw', 'pitch', 'roll']
changes = {a: [] for a in angles}
for case in results['cases']:
    if against == 'baseline':
        base = case['baseline']
        if base and base['change'] is not None:
            for i, a in enumerate(angles):
                changes[a].append((case['name'], base['change'][i], abs(base['change'][i]) > base['allowed'][i]))
    else:
        values = case['values']
        if [v['name'] for v in values] == angles:
            for v in values:
                changes[v['name']].append((case['name'], v['difference'], not v['passed']))
figures = {}
for a in angles:
    c = changes[a]
    if not c:
        continue
    d = sorted(x[1] for x in c)
    n = len(d)
    largest = max(c, key=lambda x: abs(x[1]))  # the first of the largest
    figures[a] = {'count': n, 'mean': sum(d) / n,
                  'median': d[n // 2] if n % 2 else (d[n // 2 - 1] + d[n // 2]) / 2,
                  'largest': largest[1], 'largest_case': largest[0], 'past': sum(x[2] for x in c)}
json.dump(figures, open(sys.argv[3], 'w'))

class Page(HTMLParser):
    def __init__(self):
        super().__init__()
        self.angles, self.bars, self.rows, self.svg = {}, {}, [], None
    def handle_starttag(self, tag, attrs):
        attrs = dict(attrs)
        if tag == 'tr' and attrs.get('class') == 'angle':
            self.angle = attrs['data-angle']
            self.angles[self.angle] = attrs
        elif tag == 'svg':
            self.svg = self.angle
            self.bars[self.svg] = []
        elif tag == 'rect' and attrs.get('class') == 'bar':
            self.bars[self.svg].append(int(attrs['data-count']))
        elif tag == 'tr' and 'case' in attrs.get('class', '').split():
            self.rows.append(attrs['data-case'])
page = Page()
page.feed(open(sys.argv[2], encoding='utf-8').read())
problems = []
for a in angles:
    shown = page.angles.get(a, {})
    want = figures.get(a)
    if int(shown.get('data-count', -1)) != (want['count'] if want else 0):
        problems.append('%s: %s cases in the overview, %s in results.json' % (a, shown.get('data-count'), want))
    if sum(page.bars.get(a, [])) != (want['count'] if want else 0) or len(page.bars.get(a, [])) < 10:
        problems.append('%s: the histogram holds %r' % (a, page.bars.get(a)))
    if not want:
        continue
    for key in ('mean', 'median', 'largest'):
        if abs(float(shown.get('data-' + key, 'nan')) - want[key]) > 1e-5:
            problems.append('%s %s: overview %s, results.json %s' % (a, key, shown.get('data-' + key), want[key]))
    if shown.get('data-largest-case') != want['largest_case'] or int(shown.get('data-past', -1)) != want['past']:
        problems.append('%s: overview %r, results.json %r' % (a, shown, want))
# Failed cases worst first (how far the furthest failed value is past its
# allowance), then the cases that could not run, then the rest.
def worst(case):
    return max((abs(v['difference']) - v['allowed'] for v in case['values'] if not v['passed']), default=0)
group = {'failed': 0, 'error': 1}
order = sorted(results['cases'], key=lambda c: (group.get(c['verdict'], 2), -worst(c) if c['verdict'] == 'failed' else 0))
if page.rows != [c['name'] for c in order]:
    problems.append('cases in the order %r, expected %r' % (page.rows, [c['name'] for c in order]))
for problem in problems:
    print('FAIL: ' + problem)
sys.exit(1 if problems else 0)
PY
}
# figure ANGLE KEY: one of the figures check_overview computed from results.json.
figure() { python3 -c 'import json, sys; print(json.load(open(sys.argv[1]))[sys.argv[2]][sys.argv[3]])' \
    "$work/figures.json" "$1" "$2"; }
near() {  # NAME GOT WANT
    awk -v got="$2" -v want="$3" 'BEGIN { exit !(got - want < 1e-4 && want - got < 1e-4) }' ||
        fail "$1 is $2, expected $3"
}

row_planted-fixed() {
    # The model gives 45, -22.5, 11.25; each case expects a pose off by known amounts.
    pose_case "$work/c/a-same" 45 -22.5 11.25
    pose_case "$work/c/b-close" 44.5 -23 11                # +0.5 +0.5 +0.25
    pose_case "$work/c/c-pitch" 45 -25.65 11.25            # pitch +3.15: 2.15 past
    pose_case "$work/c/d-yaw" 47 -22.75 11.25              # yaw -2: 1 past; pitch +0.25
    pose_case "$work/c/e-roll" 46.2 -22.4 6.75             # yaw -1.2: 0.2 past; pitch -0.1; roll +4.5: 3.5 past
    pose_case "$work/c/f-tight" 45.2 -21.9 11.25 0.5       # yaw -0.2; pitch -0.6: 0.1 past
    pose_case "$work/c/g-broken" 45 -22.5 11.25
    echo "not an image" >"$work/c/g-broken/face.png"
    S -m "$fixed" -c "$work/c" -o "$work/r" -j 2
    status_is 1
    for line in 'failed c-pitch \([0-9]+ ms\): pitch \+3\.15 \(allowed ±1\)' \
        'failed e-roll \([0-9]+ ms\): roll \+4\.50 \(allowed ±1\)' \
        'failed f-tight \([0-9]+ ms\): pitch -0\.60 \(allowed ±0\.5\)' \
        'error g-broken \([0-9]+ ms\): the image does not decode'; do
        grep -qE "^$line\$" "$work/out" || fail "no line $line"
    done
    check_overview "$work/r"
    near "pitch mean" "$(figure pitch mean)" "$(awk 'BEGIN { print (0.5 + 3.15 + 0.25 - 0.1 - 0.6) / 6 }')"
    near "pitch median" "$(figure pitch median)" 0.125
    near "yaw median" "$(figure yaw median)" -0.1
    near "roll largest" "$(figure roll largest)" 4.5
    [ "$(figure roll largest_case)/$(figure yaw past)/$(figure pitch past)" = "e-roll/2/2" ] ||
        fail "figures $(cat "$work/figures.json")"
    grep -qF 'pitch: expected -25.650000, actual -22.500000, difference +3.150000' "$work/r/junit.xml" ||
        fail "junit.xml's message is not signed"
    grep -qF "<code id=\"accept\">record_facepose -m $fixed -c $work/c --update</code>" "$work/r/report.html" ||
        fail "no command that accepts the failed cases"
    python3 - "$work/r/results.json" "$(sha256sum "$fixed/$model_name" | cut -d' ' -f1)" <<'PY' || fail "results.json's run"
import json, sys
run = json.load(open(sys.argv[1]))['run']
assert run['model']['sha256'] == sys.argv[2] and run['baseline_model'] is None and run['options']['jobs'] == 2, run
PY
}

row_planted-pose-model() {
    local pose=$root/sample/pose-model wide=$work/wide-model
    mkdir -p "$wide"
    sed 's/^\( *box_scale: \[ *\)1\., 1\. \]/\11.08, 1.08 ]/' "$pose/$model_name" >"$wide/$model_name"
    cmp -s "$pose/$model_name" "$wide/$model_name" && fail "the box scale was not changed"
    for photo in astronaut camera; do
        mkdir -p "$work/c/$photo" && cp "$root/sample/photos/$photo.png" "$work/c/$photo/"
    done
    cp "$root/sample/astronaut.nkvalid" "$work/c/astronaut/"
    S -m "$wide" -c "$work/c" -o "$work/r" -j 2 --baseline-model "$pose"
    check_overview "$work/r"
    [ "$(figure yaw count)" = 2 ] || fail "the overview counts $(figure yaw count) cases"
    python3 - "$work/figures.json" <<'PY' || fail "the wider box moves no angle"
import json, sys
figures = json.load(open(sys.argv[1]))
sys.exit(0 if any(abs(figures[a]['largest']) > 0.01 for a in figures) else 1)
PY
}

row_baseline-same() {
    pose_case "$work/c/a" 45 -22.5 11.25
    pose_case "$work/c/b" 44 -22.5 11.25
    mkdir -p "$work/c/no-expectation" && cp "$root/sample/face.png" "$work/c/no-expectation/"
    S -m "$fixed" -c "$work/c" -o "$work/r" --baseline-model "$fixed" --fail-on-change
    status_is 0
    grep -qE '^compared no-expectation \([0-9]+ ms\)$' "$work/out" || fail "the case without expectation"
    ! grep -qF 'skipped' "$work/err" || fail "a case was skipped: $(cat "$work/err")"
    says out "3 cases: 2 passed, 0 failed, 0 could not run, 1 compared; 0 changed from the baseline"
    check_overview "$work/r"
    for angle in yaw pitch roll; do
        [ "$(figure $angle count)" = 3 ] && near "$angle largest" "$(figure $angle largest)" 0 ||
            fail "$angle: $(cat "$work/figures.json")"
    done
    [ "$(grep -c '<td>+0.000</td><td>±' "$work/r/report.html")" = 9 ] || fail "not every change shown as +0.000"
}

row_baseline-moved() {
    fixed_model "$work/moved" 45 -20.5 11.25
    pose_case "$work/c/a" 45 -20.5 11.25
    pose_case "$work/c/b" 45 -20.5 11.25 3
    mkdir -p "$work/c/c" && cp "$root/sample/face.png" "$work/c/c/"
    S -m "$work/moved" -c "$work/c" -o "$work/r" --baseline-model "$fixed"
    status_is 0
    S -m "$work/moved" -c "$work/c" -o "$work/r" --baseline-model "$fixed" --fail-on-change
    status_is 1
    python3 - "$work/r/results.json" <<'PY' || fail "results.json's changes"
import json, sys
cases = {c['name']: c['baseline'] for c in json.load(open(sys.argv[1]))['cases']}
want = {'a': True, 'b': False, 'c': True}  # b allows 3 degrees
assert {n: c['changed'] for n, c in cases.items()} == want, cases
assert all(abs(c['change'][1] - 2) < 1e-4 and c['change'][0] == 0 and c['change'][2] == 0 for c in cases.values()), cases
PY
    [ "$(grep -c '<td class="bad">+2.000</td>' "$work/r/report.html")" = 2 ] &&
        [ "$(grep -c 'data-changed="yes"' "$work/r/report.html")" = 2 ] || fail "report.html's changes"
    grep -qE '^passed a \([0-9]+ ms\), changed: pitch \+2\.00 \(allowed ±1\)$' "$work/out" || fail "a's line"
    python3 - "$work/r/junit.xml" <<'PY' || fail "junit.xml's changed cases"
import sys, xml.etree.ElementTree as ET
suite = ET.parse(sys.argv[1]).getroot()
failures = {c.get('name'): [(f.get('type'), f.get('message')) for f in c.iter('failure')] for c in suite.iter('testcase')}
moved = [('changed', 'changed from the baseline: pitch +2.00 (allowed ±1)')]
assert failures == {'a': moved, 'b': [], 'c': moved} and suite.get('failures') == '2', (failures, suite.attrib)
PY
    check_overview "$work/r"
    near "pitch mean" "$(figure pitch mean)" 2
}

row_previous-run() {
    fixed_model "$work/moved" 45 -20.5 11.25
    pose_case "$work/c/a" 45 -22.5 11.25
    pose_case "$work/c/b" 45 -20.5 11.25
    pose_case "$work/c/c" 45 -22.5 11.25 5
    S -m "$fixed" -c "$work/c" -o "$work/r1"
    S -m "$work/moved" -c "$work/c" -o "$work/r2" --previous "$work/r1"
    status_is 1
    python3 - "$work/r2/report.html" "$work/r2/results.json" <<'PY' || fail "the comparison with the previous run"
import json, re, sys
html = open(sys.argv[1], encoding='utf-8').read()
assert re.search(r'id="newly-failing">a<', html), 'newly failing'
assert re.search(r'id="newly-passing">b<', html), 'newly passing'
assert 'pose moved by at most: yaw +0.000 (a), pitch +2.000 (a), roll +0.000 (a)' in html, 'moved'
assert html.count('pose moved by yaw +0.000, pitch +2.000, roll +0.000') == 3, 'per case'
cases = {c['name']: c['previous'] for c in json.load(open(sys.argv[2]))['cases']}
assert [cases[n]['verdict'] for n in 'abc'] == ['passed', 'failed', 'passed'], cases
PY
    # Another case set: the cases both runs hold are compared, the others listed.
    rm -r "$work/c/a" && pose_case "$work/c/d" 45 -22.5 11.25 && pose_case "$work/c/e" 45 -22.5 11.25 5
    S -m "$fixed" -c "$work/c" -o "$work/r3" --previous "$work/r1"
    status_is 1
    says out "$work/r1/results.json holds other cases; compared are those both runs hold: only in that run: a; only in this run: d, e"
    python3 - "$work/r3/report.html" "$work/r3/results.json" <<'PY' || fail "another case set"
import json, sys
html = open(sys.argv[1], encoding='utf-8').read()
assert 'id="only-in-that-run">a<' in html and 'id="only-in-this-run">d, e<' in html, 'only in one run'
assert 'id="newly-passing">none<' in html and 'id="newly-failing">none<' in html, 'newly'
results = json.load(open(sys.argv[2]))
previous = results['previous_run']
assert previous['only_in_that_run'] == ['a'] and previous['only_in_this_run'] == ['d', 'e'], previous
cases = {c['name']: c['previous'] for c in results['cases']}
assert cases['d'] is None and cases['e'] is None and cases['b']['verdict'] == 'failed', cases
PY
}

run_table_rows "$root/tests/suite/review_rows.txt" "$@"
