#!/usr/bin/env bash
# Loads facepose_suite's report.html from disk in headless Chromium and checks
# the rendered page: every case present, the cases that did not pass first
# (worst first), every picture loaded, the overview's three histograms drawn,
# and nothing on the console (which a page that logs an error must show, or
# the check proves nothing). Leaves a screenshot of the page's top, the
# overview of the planted changes, as OUTPUT_DIR/overview.png.
#
#   report_in_browser_test.sh ROOT SUITE CHROMIUM OUTPUT_DIR
set -u
root=$(realpath "$1") suite=$(realpath "$2") chromium=$3 output=$4
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failed=0
fail() { echo "FAIL: $*"; failed=1; }

# Renders $1 (a file) and leaves the DOM in $2, the browser's log in $3.
render() {
    timeout 120 "$chromium" --headless --no-sandbox --disable-gpu --no-first-run --user-data-dir="$work/profile" \
        --enable-logging=stderr --v=0 --virtual-time-budget=10000 --dump-dom "file://$1" >"$2" 2>"$3"
}

# Cases: passing ones, a failing one, one that cannot run, names that need
# escaping in HTML and in a URL.
case_dir() { mkdir -p "$work/cases/$1" && ln -s "$root/sample/face.png" "$work/cases/$1/face.png"; }
case_dir "b-pass" && cp "$root/sample/face.nkvalid" "$work/cases/b-pass/"
case_dir "d pass & <more> \"quoted\" #1" && cp "$root/sample/face.nkvalid" "$work/cases/d pass & <more> \"quoted\" #1/"
case_dir "c-fail" && printf 'Type: numeric-match\nValid data:\n< 1 2 3\n' >"$work/cases/c-fail/fail.nkvalid"
mkdir "$work/cases/a-no-image" && printf 'not an image' >"$work/cases/a-no-image/face.png" &&
    cp "$root/sample/face.nkvalid" "$work/cases/a-no-image/"
# Planted changes: expectations off the fixed model's 45, -22.5, 11.25 by known amounts.
planted() {  # NAME YAW PITCH ROLL
    case_dir "$1" && printf 'Type: numeric-match\nNums to Check: 1\nThreshold: 0\nTolerance: 1\nValid data:\n< %s %s %s\n' \
        "$2" "$3" "$4" >"$work/cases/$1/planted.nkvalid"
}
planted e-pitch-up 45 -25.65 11.25
planted f-yaw-down 47.5 -22.5 11.5
planted g-slight 45.4 -22.8 11.25
"$suite" -m "$root/sample/fixed-model" -c "$work/cases" -o "$work/report" -j 2 >"$work/suite.out" 2>&1
[ $? = 1 ] || fail "the suite with a failing case does not exit 1"

render "$work/report/report.html" "$work/dom.html" "$work/browser.log" || fail "chromium could not render the report"
if grep -F ':CONSOLE' "$work/browser.log"; then
    fail "the report logs to the console"
fi
python3 - "$work/dom.html" <<'PY' || failed=1
import sys
from html.parser import HTMLParser

class Page(HTMLParser):
    def __init__(self):
        super().__init__()
        self.rows, self.images, self.body = [], [], {}
    def handle_starttag(self, tag, attrs):
        attrs = dict(attrs)
        if tag == 'tr' and 'case' in attrs.get('class', '').split():
            self.rows.append((attrs.get('data-case'), attrs.get('data-verdict')))
        elif tag == 'img':
            self.images.append(attrs)
        elif tag == 'body':
            self.body = attrs

page = Page()
page.feed(open(sys.argv[1], encoding='utf-8').read())
problems = []
expected = [('c-fail', 'failed'), ('e-pitch-up', 'failed'), ('f-yaw-down', 'failed'), ('a-no-image', 'error'),
            ('b-pass', 'passed'), ('d pass & <more> "quoted" #1', 'passed'), ('g-slight', 'passed')]
if page.rows != expected:
    problems.append('cases on the page: %r, expected %r' % (page.rows, expected))
if page.body.get('data-histograms') != '3 drawn':
    problems.append('histograms: %r' % page.body.get('data-histograms'))
if len(page.images) != 6 or any(image.get('data-loaded') != 'yes' for image in page.images):
    problems.append('pictures not all loaded: %r' % page.images)
if page.body.get('data-pictures') != 'loaded':
    problems.append('the page says its pictures are %r' % page.body.get('data-pictures'))
for problem in problems:
    print('FAIL: ' + problem)
sys.exit(1 if problems else 0)
PY

mkdir -p "$output" && rm -f "$output/overview.png"
timeout 120 "$chromium" --headless --no-sandbox --disable-gpu --no-first-run --user-data-dir="$work/profile" \
    --hide-scrollbars --window-size=1100,700 --screenshot="$output/overview.png" "file://$work/report/report.html" \
    >/dev/null 2>&1
[ "$(head -c 8 "$output/overview.png" 2>/dev/null | od -An -tx1 | tr -d ' ')" = 89504e470d0a1a0a ] ||
    fail "no screenshot in $output/overview.png"

# The console check sees an error when there is one.
printf '<!DOCTYPE html><html><body><script>console.error("seen");</script></body></html>' >"$work/error.html"
render "$work/error.html" "$work/error-dom.html" "$work/error.log"
grep -qF ':CONSOLE' "$work/error.log" || fail "the console check does not see a logged error"

exit $failed
