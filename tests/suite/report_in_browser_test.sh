#!/usr/bin/env bash
# Loads facepose_suite's report.html from disk in headless Chromium and checks
# the rendered page: every case present, the cases that did not pass first,
# every picture loaded, and nothing on the console (which a page that logs an
# error must show, or the check proves nothing).
#
#   report_in_browser_test.sh ROOT SUITE CHROMIUM
set -u
root=$(realpath "$1") suite=$(realpath "$2") chromium=$3
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
expected = {'b-pass': 'passed', 'd pass & <more> "quoted" #1': 'passed', 'c-fail': 'failed', 'a-no-image': 'error'}
if dict(page.rows) != expected or len(page.rows) != len(expected):
    problems.append('cases on the page: %r, expected %r' % (page.rows, expected))
verdicts = [verdict for _, verdict in page.rows]
if verdicts != sorted(verdicts, key=lambda verdict: verdict == 'passed'):
    problems.append('cases that did not pass do not come first: %r' % verdicts)
if len(page.images) != 3 or any(image.get('data-loaded') != 'yes' for image in page.images):
    problems.append('pictures not all loaded: %r' % page.images)
if page.body.get('data-pictures') != 'loaded':
    problems.append('the page says its pictures are %r' % page.body.get('data-pictures'))
for problem in problems:
    print('FAIL: ' + problem)
sys.exit(1 if problems else 0)
PY

# The console check sees an error when there is one.
printf '<!DOCTYPE html><html><body><script>console.error("seen");</script></body></html>' >"$work/error.html"
render "$work/error.html" "$work/error-dom.html" "$work/error.log"
grep -qF ':CONSOLE' "$work/error.log" || fail "the console check does not see a logged error"

exit $failed
