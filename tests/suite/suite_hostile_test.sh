#!/usr/bin/env bash
# facepose_suite against a hostile user and a hostile machine: one row per
# attack, listed in hostile_rows.txt beside this script, each a function
# below. A row makes its cases, runs the suite and checks the verdicts, the
# exit status, the messages and what is left in the report folder.
#
#   suite_hostile_test.sh ROOT SUITE [ROW...]   (default: every row of the list)
#   suite_hostile_test.sh ROOT SUITE --registered N   (N tests registered: one per listed row?)
#
# TEST_FACEPOSE names test_facepose, which the memory-pressure row runs too.
#
# Every run must end within 60 s with a status below 128 unless the row
# sends a signal, and leave no temporary file or staging folder behind.
set -u
source "$(dirname "$0")/../support/table_rows.sh"
table_start "$1" "$2"
shift 2
pose=$root/sample/pose-model

# mk DIR [IMAGE [EXPECTATION]]: a case folder (default: the fixed model's sample face).
mk() {
    mkdir -p "$1"
    cp "${2:-$root/sample/face.png}" "$1/"
    cp "${3:-$root/sample/face.nkvalid}" "$1/"
}
# S ARGS...: the suite, its output in $work/out and $work/err, its status in $status.
S() {
    timeout -k 5 60 "$suite" "$@" >"$work/out" 2>"$work/err" </dev/null
    status=$?
    ((status == 124 || status == 137)) && fail "no end within 60 s: $*"
}
says() { grep -qaF -- "$2" "$work/$1" || fail "$1 does not say: $2"; }
never() { ! grep -qaE -- "$2" "$work/$1" || fail "$1 says: $(grep -aE -- "$2" "$work/$1" | head -1)"; }
status_is() { [ "$status" = "$1" ] || fail "exit status $status, expected $1"; }
no_leftovers() {  # REPORT_DIR: nothing staged or half-written in it
    local left
    left=$(find "$1" -name '.facepose_suite-staging' -o -name '*.tmp*' -o -name '.*~*' 2>/dev/null)
    [ -z "$left" ] || fail "left behind: $left"
}
case_lines() { grep -aE '^(passed|failed|error) ' "$work/out" | sed -E 's/ \([0-9]+ ms\)//'; }

# The least address space (KiB) in which PROGRAM starts at all and gives
# its usage with STATUS: the libraries' own start needs about 200 MB.
least_address_space() {  # PROGRAM STATUS
    local low=65536 high=1048576 middle
    while ((high - low > 1024)); do
        middle=$(((low + high) / 2))
        (ulimit -v "$middle" && "$1" --help >/dev/null 2>&1)
        if [ $? = "$2" ]; then high=$middle; else low=$middle; fi
    done
    echo "$high"
}

row_memory-pressure() {
    local cases=$work/astronauts start limit errors=0
    for i in 1 2 3 4; do mk "$cases/a$i" "$root/sample/photos/astronaut.png" "$root/sample/astronaut.nkvalid"; done
    start=$(least_address_space "$suite" 0)
    # From where the suite starts up to 64 MB above, and 1 MB at a time over
    # the 32 MB below the least limit at which the run passes (but not below
    # where the libraries start, which fails before the program does anything): each limit
    # fails a different allocation, the same one on every run.
    local low=$start high=$((start + 1048576)) middle limits
    while ((high - low > 1024)); do
        middle=$(((low + high) / 2))
        (ulimit -v "$middle" && S -m "$pose" -c "$cases" -o "$work/least" -j 1; exit "$status") 2>/dev/null
        if [ $? = 0 ]; then high=$middle; else low=$middle; fi
    done
    low=$((high - 32768 > start + 1024 ? high - 32768 : start + 1024))
    limits="$(seq $((start + 1024)) 8192 $((start + 65536))) $(seq "$low" 1024 $((high - 1024)))"
    for limit in $limits; do
        (ulimit -v "$limit" && S -m "$pose" -c "$cases" -o "$work/r$limit" -j 1
         exit "$status") 2>/dev/null
        status=$?
        ((status < 128)) || { fail "limit $limit KiB: ended by signal (status $status)"; head -3 "$work/err"; }
        never out '^failed '
        never out 'no face'
        grep -q '^error ' "$work/out" && errors=$((errors + 1))
        [ ! -d "$work/r$limit" ] || no_leftovers "$work/r$limit"
    done
    ((errors > 0)) || fail "no limit made a case fail to run: the sweep is too high"
    S -m "$pose" -c "$cases" -o "$work/r" -j 1
    status_is 0
    # test_facepose at such limits: the recorded pose passes, or status 2
    # says why (the model did not load, the network failed), never "no face".
    local failures=0
    start=$(least_address_space "${TEST_FACEPOSE:?}" 255)
    for ((limit = start + 1024; limit <= start + 65536; limit += 4096)); do
        (cd "$work" && ulimit -v "$limit" && timeout -k 5 60 "$TEST_FACEPOSE" -m "$pose" \
            -p "$cases/a1/astronaut.png" -v "$cases/a1/astronaut.nkvalid" >"$work/out" 2>"$work/err" </dev/null)
        status=$?
        never err 'No face found'
        if ((status == 2)) && grep -qaE 'the network failed: |cannot load model file' "$work/err"; then
            grep -qaF 'the network failed: ' "$work/err" && failures=$((failures + 1))
        elif ((status != 0)) || ! grep -qaF '] Test passed.' "$work/err"; then
            fail "test_facepose at $limit KiB: status $status, $(tail -n 1 "$work/err")"
        fi
    done
    ((failures > 0)) || fail "no limit made test_facepose's network fail: the sweep is too high"
}

row_model-not-loading() {
    mk "$work/c/one"
    mkdir "$work/model"
    printf '%%YAML:1.0\n---\nkind: "guess"\n' >"$work/model/light_rpoly_lmp_iter_75000_w_scale.nmodel"
    S -m "$work/model" -c "$work/c" -o "$work/r"
    status_is 1
    says err "facepose_suite: cannot load the model file $work/model/light_rpoly_lmp_iter_75000_w_scale.nmodel"
    never out '^(passed|failed|error) '
    [ ! -e "$work/r" ] || fail "a report folder was made"
    S -m "$fixed" -c "$work/c" -o "$work/r" --baseline-model "$work/model"
    status_is 1
    says err "facepose_suite: cannot load the baseline model file $work/model/light_rpoly_lmp_iter_75000_w_scale.nmodel"
    [ ! -e "$work/r" ] || fail "a report folder was made for a baseline that does not load"
}

row_report-is-cases() {
    # A case whose image has the name of the report's pictures.
    mkdir -p "$work/c/one"
    cp "$root/sample/face.png" "$work/c/one/annotated.png"
    cp "$root/sample/face.nkvalid" "$work/c/one/"
    local before
    before=$(cd "$work/c" && find . -type f -exec md5sum {} + | sort)
    for report in "$work/c" "$work/c/." "$work" "$work/c/../c/"; do
        S -m "$fixed" -c "$work/c" -o "$report"
        status_is 1
        says err "facepose_suite: the report folder $report"
        never out '^(passed|failed|error) '
    done
    # The cases folder on another path: a bind mount of it, or of its parent.
    if unshare -rm true 2>/dev/null; then
        mkdir "$work/alias"
        for bound in c .; do
            unshare -rm sh -c 'mount --bind "$1" "$2" && exec "$3" -m "$4" -c "$5" -o "$2"' sh \
                "$work/$bound" "$work/alias" "$suite" "$fixed" "$work/c" >"$work/out" 2>"$work/err" </dev/null
            status=$?
            status_is 1
            says err "facepose_suite: the report folder $work/alias $([ $bound = c ] && echo is || echo holds) the cases folder"
        done
        rmdir "$work/alias"
    else
        echo "no bind mount here (unshare -rm fails): that part is left out"
    fi
    [ "$(cd "$work/c" && find . -type f -exec md5sum {} + | sort)" = "$before" ] || fail "the cases changed"
    [ "$(find "$work/c" | wc -l)" = 4 ] || fail "files were added to the cases folder"
    for name in junit.xml report.html .facepose_suite-staging; do
        mk "$work/n/$name"
        mk "$work/n/plain"
        S -m "$fixed" -c "$work/n" -o "$work/r"
        status_is 1
        says err "facepose_suite: the case $name has the name of the report's own"
        never out '^(passed|failed|error) '
        rm -rf "$work/n"
    done
}

# fill_fifo FIFO: opens FIFO on descriptor 3 of this shell and fills it, so
# that a writer blocks until FIFO is read; a reader ends once the writers
# are gone and descriptor 3 is closed.
fill_fifo() {
    mkfifo "$1"
    exec 3<>"$1"
    python3 - "$1" <<'PY'
import os, sys
fd = os.open(sys.argv[1], os.O_WRONLY | os.O_NONBLOCK)
for size in (4096, 1):
    try:
        while True:
            os.write(fd, b'x' * size)
    except BlockingIOError:
        pass
PY
}
# drain_fifo FIFO OUT: reads the FIFO of fill_fifo into OUT in the
# background (process $drain), until its writers and descriptor 3 are gone.
drain_fifo() {
    exec 4<"$1"
    cat <&4 >"$2" 3>&- 4<&- &
    drain=$!
    exec 4<&-
}
# end_filled_run PID: drains the FIFO of fill_fifo ($work/pipe), waits for
# PID (its exit status in $status), then closes and removes the FIFO.
end_filled_run() {
    drain_fifo "$work/pipe" /dev/null
    wait "$1"
    status=$?
    exec 3>&-
    wait "$drain"
    rm "$work/pipe"
}
# staged_case REPORT: waits up to 60 s until the run has staged a picture.
staged_case() {
    local tenths=600
    until [ -n "$(find "$1/.facepose_suite-staging" -name annotated.png 2>/dev/null)" ] || ((tenths-- == 0)); do
        sleep 0.1
    done
}

row_interrupted-run() {
    local cases=$work/c report=$work/r before
    for i in 1 2 3 4 5 6; do mk "$cases/a$i" "$root/sample/photos/astronaut.png" "$root/sample/astronaut.nkvalid"; done
    S -m "$pose" -c "$cases" -o "$report" -j 1
    status_is 0
    before=$(cd "$report" && find . -type f ! -name .facepose_suite-lock -exec md5sum {} + | sort)
    # A second run, held at its first case line by a full output pipe
    # (whatever the machine's speed) and stopped there.
    for signal in TERM HUP; do
        fill_fifo "$work/pipe"
        "$suite" -m "$pose" -c "$cases" -o "$report" -j 2 >"$work/pipe" 2>"$work/err" 3>&- &
        local pid=$!
        staged_case "$report"
        kill -"$signal" "$pid"
        end_filled_run "$pid"
        [ "$status" = $((128 + $(kill -l "$signal"))) ] || fail "SIG$signal: status $status"
        [ "$(cd "$report" && find . -type f ! -name .facepose_suite-lock -exec md5sum {} + | sort)" = "$before" ] ||
            fail "SIG$signal: the old report and its files changed"
        no_leftovers "$report"
    done
}

# warning_image FILE: the sample face with a text chunk whose checksum is
# wrong: libpng warns on every read, and the image still decodes.
warning_image() {
    python3 - "$root/sample/face.png" "$1" <<'PY'
import struct, sys
data = open(sys.argv[1], 'rb').read()
text = b'tEXt' + b'Comment\0broken'
chunk = struct.pack('>I', len(text) - 4) + text + b'\0\0\0\0'
open(sys.argv[2], 'wb').write(data[:33] + chunk + data[33:])
PY
}
# ends_within SECONDS PID: true when PID ends within SECONDS.
ends_within() {
    local tenths=$(($1 * 10))
    while kill -0 "$2" 2>/dev/null; do
        ((tenths-- == 0)) && return 1
        sleep 0.1
    done
}

row_stop-output-blocked() {
    mkdir "$work/warn"
    warning_image "$work/warn/face.png"
    for i in $(seq 1 40); do mk "$work/c/w$i" "$work/warn/face.png"; done
    for stream in out err; do
        fill_fifo "$work/pipe"
        if [ $stream = out ]; then
            "$suite" -m "$fixed" -c "$work/c" -o "$work/r" -j 2 >"$work/pipe" 2>"$work/err" 3>&- &
        else
            "$suite" -m "$fixed" -c "$work/c" -o "$work/r" -j 2 >"$work/out" 2>"$work/pipe" 3>&- &
        fi
        local pid=$! tenths=600
        until [ -d "$work/r/.facepose_suite-staging" ] || ((tenths-- == 0)); do sleep 0.1; done
        sleep 0.5
        kill -TERM "$pid"
        ends_within 5 "$pid" || fail "standard $stream full: no end within 5 s of SIGTERM"
        end_filled_run "$pid"
        [ "$status" = 143 ] || fail "standard $stream full: status $status"
        no_leftovers "$work/r"
    done
}

row_report-kept() {
    for i in 1 2 3; do mk "$work/c/c$i"; done
    S -m "$fixed" -c "$work/c" -o "$work/r" -j 1
    status_is 0
    local before
    before=$(cd "$work/r" && find . -type f ! -name '.facepose_suite-lock' -exec md5sum {} + | sort)
    # A report.html larger than a file may be: the earlier report stays, all of it.
    for i in $(seq 1 60); do mk "$work/c/f$i"; sed -i 's/^< 45 /< 50 /' "$work/c/f$i/face.nkvalid"; done
    (ulimit -f 16 && S -m "$fixed" -c "$work/c" -o "$work/r" -j 1; exit "$status")
    status=$?
    status_is 1
    says err "facepose_suite: cannot write the report into $work/r"
    [ "$(cd "$work/r" && find . -type f ! -name '.facepose_suite-lock' -exec md5sum {} + | sort)" = "$before" ] ||
        fail "the earlier report changed"
    no_leftovers "$work/r"
    # Killed at each rename of a run (the case files staged, moved, the
    # report switched): junit.xml and report.html are always whole.
    rm -rf "$work/c"/f*
    local renames n
    renames=$(strace -f -c -e trace=rename,renameat,renameat2 -o "$work/count" "$suite" -m "$fixed" -c "$work/c" \
        -o "$work/r" -j 1 >/dev/null 2>&1; awk '$NF ~ /^rename/ { n += $4 } END { print n + 0 }' "$work/count")
    ((renames >= 14)) || fail "$renames renames counted"
    for ((n = 1; n <= renames; n++)); do
        (strace -f -qq -o /dev/null -e trace=rename,renameat,renameat2 \
            -e inject=rename,renameat,renameat2:signal=KILL:when=$n \
            "$suite" -m "$fixed" -c "$work/c" -o "$work/r" -j 1 >/dev/null 2>&1) 2>/dev/null
        python3 - "$work/r/junit.xml" "$work/r/report.html" <<'PY' || fail "killed at rename $n: the report is not whole"
import sys
import xml.etree.ElementTree as ET
assert ET.parse(sys.argv[1]).getroot().get('tests') == '3'
assert open(sys.argv[2], 'rb').read().rstrip().endswith(b'</html>')
PY
    done
}

row_concurrent-runs() {
    for i in $(seq 1 30); do mk "$work/c/c$i"; done
    fill_fifo "$work/pipe"
    "$suite" -m "$fixed" -c "$work/c" -o "$work/r" -j 2 >"$work/pipe" 2>"$work/err1" 3>&- &
    local first=$! tenths=600
    until [ "$(cat "$work/r/.facepose_suite-lock" 2>/dev/null)" = "$first" ] || ((tenths-- == 0)); do sleep 0.1; done
    S -m "$fixed" -c "$work/c" -o "$work/r" --no-wait
    status_is 1
    says err "facepose_suite: the report folder $work/r is in use by the run of process $first"
    never out '^(passed|failed|error) '
    "$suite" -m "$fixed" -c "$work/c" -o "$work/r" -j 2 >"$work/out" 2>"$work/err" &
    local second=$!
    tenths=600
    until grep -qF "facepose_suite: waiting for the run of process $first, which uses the report folder $work/r" \
        "$work/err" || ((tenths-- == 0)); do sleep 0.1; done
    ((tenths >= 0)) || fail "no line says whose run the second waits for"
    drain_fifo "$work/pipe" "$work/out1"
    wait "$first"
    status=$?
    status_is 0
    wait "$second"
    status=$?
    status_is 0
    exec 3>&-
    wait "$drain"
    grep -qF '30 cases: 30 passed' "$work/out1" || fail "the first run: $(grep cases: "$work/out1")"
    says out "30 cases: 30 passed, 0 failed, 0 could not run"
    [ "$(find "$work/r" -name face.log | wc -l)" = 30 ] && [ "$(find "$work/r" -name annotated.png | wc -l)" = 30 ] ||
        fail "logs or pictures missing"
    no_leftovers "$work/r"
}

row_closed-descriptors() {
    mkdir "$work/warn"
    warning_image "$work/warn/face.png"
    for i in $(seq 1 40); do mk "$work/c/w$i" "$work/warn/face.png"; done
    timeout -k 5 60 "$suite" -m "$fixed" -c "$work/c" -o "$work/r" -j 2 >"$work/out" <&- 2>&-
    status=$?
    status_is 0
    ! grep -rlaF 'libpng warning' "$work/r" || fail "a warning went into the files above"
}

row_rerun-error() {
    mk "$work/c/one"
    S -m "$fixed" -c "$work/c" -o "$work/r"
    status_is 0
    [ -f "$work/r/one/face.log" ] && [ -f "$work/r/one/annotated.png" ] || fail "the first run wrote no log or picture"
    echo "not an image" >"$work/c/one/face.png"
    S -m "$fixed" -c "$work/c" -o "$work/r"
    status_is 1
    says out "error one"
    [ ! -e "$work/r/one/face.log" ] || fail "the log of the earlier run is left"
    [ ! -e "$work/r/one/annotated.png" ] || fail "the picture of the earlier run is left"
}

row_log-not-written() {
    # The log of a thousand expectations is larger than the 8 KiB a file may have.
    mkdir -p "$work/c/big"
    cp "$root/sample/face.png" "$work/c/big/"
    { grep -v '^<' "$root/sample/face.nkvalid"; yes '< 45 -22.5 11.25' | head -n 1000; } >"$work/c/big/face.nkvalid"
    (ulimit -f 8 && S -m "$fixed" -c "$work/c" -o "$work/r"; exit "$status")
    status=$?
    status_is 1
    says out "error big"
    says out "cannot write the validation log"
}

row_threads-fail() {
    for i in $(seq 1 16); do mk "$work/c/c$i"; done
    # 16 stacks of 256 MB do not fit in 2 GB of address space.
    (ulimit -s 262144 && ulimit -v 2000000 && S -m "$fixed" -c "$work/c" -o "$work/r" -j 16; exit "$status")
    status=$?
    status_is 0
    says out "16 cases: 16 passed, 0 failed, 0 could not run"
    local ran
    ran=$(sed -nE 's/.*per worker \(([0-9]+)\).*/\1/p' "$work/out")
    [ -n "$ran" ] && ((ran >= 1 && ran < 16)) || fail "workers printed: '$ran', expected fewer than 16"
    no_leftovers "$work/r"
}

row_stdout-full() {
    mk "$work/c/one"
    timeout 60 "$suite" -m "$fixed" -c "$work/c" -o "$work/r" >/dev/full 2>"$work/err"
    status=$?
    status_is 3
    says err "facepose_suite: cannot write standard output: No space left on device"
    # A reader that is gone (as after "| head -1"): no SIGPIPE, the staging folder removed.
    python3 -c 'import os, subprocess, sys
read, write = os.pipe()
os.close(read)
sys.exit(subprocess.run(sys.argv[1:], stdout=write, stdin=subprocess.DEVNULL, timeout=60).returncode)' \
        "$suite" -m "$fixed" -c "$work/c" -o "$work/r" 2>"$work/err"
    status=$?
    status_is 3
    says err "facepose_suite: cannot write standard output: Broken pipe"
    no_leftovers "$work/r"
}

row_not-utf8() {
    local cases=$work/$'c\xfe'
    mk "$cases/"$'bad\xff'
    mk "$cases/"$'surrogate\xed\xa0\x80'
    mk "$cases/"$'overlong\xc0\xaf'
    mk "$cases/"$'overlong3\xe0\x80\xaf'
    mk "$cases/"$'nonchar\xef\xbf\xbe'
    mk "$cases/"$'cut\xe2\x82'
    mk "$cases/"$'undecodable\xff'
    echo "not an image" >"$cases/"$'undecodable\xff'/face.png
    S -m "$fixed" -c "$cases" -o "$work/r"
    status_is 1
    python3 - "$work/r/junit.xml" "$work/r/report.html" <<'PY' || fail "junit.xml or report.html is not well-formed UTF-8"
import sys
import xml.etree.ElementTree as ET
suite = ET.parse(sys.argv[1]).getroot()
assert suite.get('tests') == '7' and suite.get('errors') == '1', suite.attrib
error = suite.find('testcase/error')
assert '\ufffd' in error.text, error.text
html = open(sys.argv[2], 'rb').read().decode('utf-8')
for text in (open(sys.argv[1], 'rb').read().decode('utf-8'), html):
    assert '\ufffe' not in text and '\uffff' not in text
assert html.count('bad\ufffd') >= 2, 'no replacement character in report.html'
PY
}

row_control-characters() {
    mk "$work/c/"$'a\nfailed ghost (1 ms)'
    mk "$work/c/"$'b\rhidden'
    mk "$work/c/"$'c\e[2K'
    mk "$work/c/"$'d\xc2\x9bK'
    touch "$work/c/"$'e\nskipped'
    S -m "$fixed" -c "$work/c" -o "$work/r"
    never out '^failed ghost'
    never out $'[\r\e]|\xc2\x9b'
    never err $'[\r\e]|\xc2\x9b'
    never err '^skipped'
    says out 'passed a\nfailed ghost (1 ms) ('
    says out 'passed b\rhidden ('
    says out 'passed c\x1B[2K ('
    says out 'passed d\x9BK ('
    [ "$(case_lines | wc -l)" = 4 ] || fail "$(case_lines | wc -l) case lines for 4 cases"
}

row_thin-image() {
    mkdir -p "$work/c/thin"
    python3 - "$work/c/thin/thin.png" <<'PY'
import struct, sys, zlib
def chunk(kind, data):
    return struct.pack('>I', len(data)) + kind + data + struct.pack('>I', zlib.crc32(kind + data) & 0xFFFFFFFF)
rows = b'\0' + bytes(range(256)) * 7 + bytes(1800 - 256 * 7)
png = b'\x89PNG\r\n\x1a\n' + chunk(b'IHDR', struct.pack('>IIBBBBB', 600, 1, 8, 2, 0, 0, 0))
open(sys.argv[1], 'wb').write(png + chunk(b'IDAT', zlib.compress(rows)) + chunk(b'IEND', b''))
PY
    cp "$root/sample/face.nkvalid" "$work/c/thin/"
    S -m "$fixed" -c "$work/c" -o "$work/r"
    status_is 0
    says out "passed thin"
    [ -s "$work/r/thin/annotated.png" ] || fail "no picture"
}

row_tally() {
    # 1 passes, 2 fail, 3 cannot run.
    mk "$work/c/pass"
    for name in fail1 fail2; do
        mk "$work/c/$name"
        sed -i 's/^< 45 /< 50 /' "$work/c/$name/face.nkvalid"
    done
    for name in error1 error2 error3; do
        mk "$work/c/$name"
        echo "not an image" >"$work/c/$name/face.png"
    done
    S -m "$fixed" -c "$work/c" -o "$work/r" -j 2
    status_is 1
    says out "6 cases: 1 passed, 2 failed, 3 could not run"
    grep -qF '6 cases: 1 passed, 2 failed, 3 could not run.' "$work/r/report.html" || fail "report.html's summary"
    grep -qF 'tests="6" failures="2" errors="3"' "$work/r/junit.xml" || fail "junit.xml's counts"
}

row_previous-unusable() {
    mk "$work/c/a"
    mk "$work/c/b"
    S -m "$fixed" -c "$work/c" -o "$work/good"
    status_is 0
    local p=$work/p/results.json
    for bad in truncated not-json version huge link; do
        rm -rf "$work/p" "$work/r" && mkdir "$work/p"
        case $bad in
        truncated) head -c 300 "$work/good/results.json" >"$p" ;;
        not-json) printf '<html>report</html>\n' >"$p" ;;
        version) sed -E 's/"version": 1(,?)$/"version": 2\1/' "$work/good/results.json" >"$p" ;;
        huge) truncate -s 65M "$p" ;;
        link) ln -s "$work/good/results.json" "$p" ;;
        esac
        S -m "$fixed" -c "$work/c" -o "$work/r" --previous "$work/p"
        status_is 1
        case $bad in
        truncated) says err "facepose_suite: cannot use $p: it ends early (truncated)" ;;
        not-json) says err "facepose_suite: cannot use $p: not JSON: " ;;
        version) says err "facepose_suite: cannot use $p: schema version 2, this program reads version 1" ;;
        huge) says err "facepose_suite: cannot use $p: larger than 64 MiB" ;;
        link) says err "facepose_suite: cannot use $p: it is a symbolic link" ;;
        esac
        [ ! -e "$work/r" ] || fail "$bad: a report folder was made"
    done
    S -m "$fixed" -c "$work/c" -o "$work/r" --previous "$work/good"
    status_is 0
}

row_order-and-shards() {
    for name in e b d a c; do mk "$work/c/$name"; done
    S -m "$fixed" -c "$work/c" -o "$work/r" -j 2
    [ "$(case_lines | tr '\n' ' ')" = "passed a passed b passed c passed d passed e " ] ||
        fail "cases out of name order: $(case_lines | tr '\n' ' ')"
    says out "per worker (2)"
    # A filter that selects no case: no network is needed, none is loaded.
    S -m "$fixed" -c "$work/c" -o "$work/r" --filter none --allow-empty
    status_is 0
    says out "0 cases: 0 passed, 0 failed, 0 could not run"
    for shards in "--shard 0/2" "--shard 0/2 GTEST"; do
        if [ "${shards#* * }" = GTEST ]; then
            GTEST_SHARD_INDEX=1 GTEST_TOTAL_SHARDS=2 S -m "$fixed" -c "$work/c" -o "$work/r" --shard 0/2
        else
            S -m "$fixed" -c "$work/c" -o "$work/r" --shard 0/2
        fi
        [ "$(case_lines | tr '\n' ' ')" = "passed a passed c passed e " ] ||
            fail "$shards runs: $(case_lines | tr '\n' ' ')"
    done
}

row_nothing-selected() {
    mkdir -p "$work/c"
    S -m "$fixed" -c "$work/c" -o "$work/r"
    status_is 1
    says err "facepose_suite: no case to run: the cases folder $work/c holds none (--allow-empty accepts that)"
    grep -qF 'tests="0"' "$work/r/junit.xml" || fail "no empty junit.xml"
    S -m "$fixed" -c "$work/c" -o "$work/r" --allow-empty
    status_is 0
    mk "$work/c/a"
    mk "$work/c/b"
    S -m "$fixed" -c "$work/c" -o "$work/r" --filter zzz
    status_is 1
    says err 'facepose_suite: no case to run: no case name contains "zzz"'
    # More shards than cases: the shard left without one passes, its siblings hold the cases.
    S -m "$fixed" -c "$work/c" -o "$work/r" --shard 3/4
    status_is 0
    says out "0 cases: 0 passed, 0 failed, 0 could not run"
    GTEST_SHARD_INDEX=2 GTEST_TOTAL_SHARDS=3 S -m "$fixed" -c "$work/c" -o "$work/r"
    status_is 0
    S -m "$fixed" -c "$work/c" -o "$work/r" --shard 1/4 --filter zzz
    status_is 1
}

row_unrecorded() {
    mk "$work/c/good"
    mkdir -p "$work/c/new" "$work/c/two"
    cp "$root/sample/face.png" "$work/c/new/"
    cp "$root/sample/face.png" "$work/c/two/"
    cp "$root/sample/face.png" "$work/c/two/other.png"
    cp "$root/sample/face.nkvalid" "$work/c/two/"
    touch "$work/c/README"
    # A report folder inside the cases folder is no case.
    S -m "$fixed" -c "$work/c" -o "$work/c/r"
    S -m "$fixed" -c "$work/c" -o "$work/c/r"
    status_is 1
    [ "$(case_lines | tr '\n' '|')" = "passed good|error new: not recorded: record_facepose -m $fixed -c $work/c|error two: needs one image and one .nkvalid file|" ] ||
        fail "case lines: $(case_lines | tr '\n' '|')"
    says out "3 cases: 1 passed, 0 failed, 2 could not run"
    says err "facepose_suite: skipped README: not a folder"
    grep -qF "<error message=\"not recorded: record_facepose -m $fixed -c $work/c\"" "$work/c/r/junit.xml" ||
        fail "junit.xml lacks the unrecorded case"
    grep -qF 'tests="3" failures="0" errors="2"' "$work/c/r/junit.xml" || fail "junit.xml's counts"
    grep -qF 'data-case="two" data-verdict="error"' "$work/c/r/report.html" ||
        fail "report.html lacks the folder of two images"
    # Shards deal the cases that cannot run as any other.
    S -m "$fixed" -c "$work/c" -o "$work/c/r" --shard 1/3
    [ "$(case_lines | tr '\n' '|')" = "error new: not recorded: record_facepose -m $fixed -c $work/c|" ] ||
        fail "shard 1/3: $(case_lines | tr '\n' '|')"
}

row_junit-schema() {
    local name=$'suite\x01\xff<&>'
    mk "$work/c/pass"
    mk "$work/c/fail"
    sed -i 's/^< 45 /< 50 /' "$work/c/fail/face.nkvalid"
    mk "$work/c/broken"
    echo "not an image" >"$work/c/broken/face.png"
    mkdir -p "$work/c/unrecorded"
    cp "$root/sample/face.png" "$work/c/unrecorded/"
    S -m "$fixed" -c "$work/c" -o "$work/r" --suite-name "$name" --shard 0/1
    status_is 1
    command -v xmllint >/dev/null || fail "no xmllint (Debian's libxml2-utils)"
    xmllint --noout --schema "$root/tests/suite/junit.xsd" "$work/r/junit.xml" 2>"$work/xmllint" ||
        fail "junit.xml does not validate: $(cat "$work/xmllint")"
    python3 - "$work/r/junit.xml" "$fixed/light_rpoly_lmp_iter_75000_w_scale.nmodel" \
        "$(sha256sum "$fixed/light_rpoly_lmp_iter_75000_w_scale.nmodel" | cut -d' ' -f1)" "$(hostname)" \
        "$work/r/fail/face.log" <<'PY' || fail "junit.xml's identity"
import datetime, sys
import xml.etree.ElementTree as ET
suite = ET.parse(sys.argv[1]).getroot()
assert suite.get('name') == 'suite?\ufffd<&>', suite.get('name')
assert {case.get('classname') for case in suite.iter('testcase')} == {suite.get('name')}
stamp = datetime.datetime.strptime(suite.get('timestamp'), '%Y-%m-%dT%H:%M:%S')
assert abs((datetime.datetime.utcnow() - stamp).total_seconds()) < 120, stamp
assert suite.get('hostname') == sys.argv[4], suite.get('hostname')
properties = {p.get('name'): p.get('value') for p in suite.find('properties')}
assert properties == {'model': sys.argv[2], 'model_sha256': sys.argv[3], 'shard': '0/1', 'version': '1.0'}, properties
failed = suite.find("testcase[@name='fail']")
assert failed.find('failure').get('type'), 'no failure type'
assert failed.find('system-out').text == open(sys.argv[5]).read(), 'the log is not the system-out'
assert suite.find("testcase[@name='pass']/system-out") is None
assert suite.find("testcase[@name='broken']/error").get('type'), 'no error type'
PY
    # Without --suite-name the suite is named after the cases folder, however it is written.
    for cases in "$work/c" "$work/c/" "$work/c/."; do
        S -m "$fixed" -c "$cases" -o "$work/r2"
        grep -q '<testsuite name="c" ' "$work/r2/junit.xml" || fail "-c $cases: $(grep -o '<testsuite name="[^"]*"' "$work/r2/junit.xml")"
    done
}

row_bazel-protocol() {
    for name in a b c d e; do mk "$work/c/$name"; done
    mkdir -p "$work/outputs"
    TEST_TOTAL_SHARDS=2 TEST_SHARD_INDEX=1 TEST_SHARD_STATUS_FILE=$work/status XML_OUTPUT_FILE=$work/test.xml \
        TEST_UNDECLARED_OUTPUTS_DIR=$work/outputs S -m "$fixed" -c "$work/c"
    status_is 0
    [ "$(case_lines | tr '\n' ' ')" = "passed b passed d " ] || fail "shard 1 of 2 ran: $(case_lines | tr '\n' ' ')"
    [ -f "$work/status" ] || fail "TEST_SHARD_STATUS_FILE was not touched"
    [ -f "$work/outputs/report.html" ] && [ -f "$work/outputs/b/face.log" ] ||
        fail "the report is not in TEST_UNDECLARED_OUTPUTS_DIR"
    cmp -s "$work/test.xml" "$work/outputs/junit.xml" || fail "XML_OUTPUT_FILE is not the run's junit.xml"
    # -o wins over TEST_UNDECLARED_OUTPUTS_DIR; GTEST_* over TEST_*.
    GTEST_TOTAL_SHARDS=2 GTEST_SHARD_INDEX=0 TEST_TOTAL_SHARDS=2 TEST_SHARD_INDEX=1 \
        TEST_UNDECLARED_OUTPUTS_DIR=$work/elsewhere S -m "$fixed" -c "$work/c" -o "$work/r"
    [ "$(case_lines | tr '\n' ' ')" = "passed a passed c passed e " ] || fail "GTEST_* lost: $(case_lines | tr '\n' ' ')"
    [ ! -e "$work/elsewhere" ] && [ -f "$work/r/report.html" ] || fail "-o did not win"
    for junk in "2 2" "x 2" "0 0" "-1 2" "0 " " 1"; do
        TEST_SHARD_INDEX=${junk% *} TEST_TOTAL_SHARDS=${junk#* } S -m "$fixed" -c "$work/c" -o "$work/r"
        status_is 255
        says err "facepose_suite: TEST_SHARD_INDEX and TEST_TOTAL_SHARDS need I < N"
    done
}

row_merge-bad-input() {
    for name in a b c d $'d\te'; do mk "$work/c/$name"; done
    for i in 0 1 2; do S -m "$fixed" -c "$work/c" -o "$work/s$i" --shard "$i/3"; done
    local before
    before=$(cd "$work" && find s0 s1 s2 -type f -exec md5sum {} + | sort)
    merge() {  # EXPECTED_STATUS MESSAGE ARGS...: a merge that writes nothing
        local want=$1 message=$2
        shift 2
        rm -rf "$work/m"
        S --merge "$work/m" "$@"
        status_is "$want"
        says err "$message"
        [ ! -e "$work/m/junit.xml" ] || fail "$message: a report was written"
    }
    merge 1 "$work/t: no such report folder" "$work/s0" "$work/s1" "$work/s2" "$work/t"
    mkdir "$work/t"
    merge 1 "$work/t: no junit.xml" "$work/s0" "$work/s1" "$work/s2" "$work/t"
    cp -r "$work/s2" "$work/cut" && truncate -s 300 "$work/cut/junit.xml"
    merge 1 "$work/cut/junit.xml: not a whole junit report (truncated?)" "$work/s0" "$work/s1" "$work/cut"
    cp -r "$work/s2" "$work/cuthtml" && truncate -s -100 "$work/cuthtml/report.html"
    merge 1 "$work/cuthtml: no whole report.html" "$work/s0" "$work/s1" "$work/cuthtml"
    cp -r "$work/s2" "$work/nojson" && rm "$work/nojson/results.json"
    merge 1 "$work/nojson/results.json: No such file or directory" "$work/s0" "$work/s1" "$work/nojson"
    cp -r "$work/s2" "$work/cutjson" && truncate -s 300 "$work/cutjson/results.json"
    merge 1 "$work/cutjson/results.json: it ends early (truncated)" "$work/s0" "$work/s1" "$work/cutjson"
    cp -r "$work/s2" "$work/v2" && sed -i -E 's/"version": 1(,?)$/"version": 2\1/' "$work/v2/results.json"
    merge 1 "$work/v2/results.json: schema version 2, this program reads version 1" "$work/s0" "$work/s1" "$work/v2"
    ln -s "$work/s2" "$work/link"
    merge 1 "$work/link: a link, not a report folder" "$work/s0" "$work/s1" "$work/link"
    merge 1 "$work/s1/: given twice" "$work/s0" "$work/s1" "$work/s1/" "$work/s2"
    S --merge "$work/s1" "$work/s0" "$work/s1" "$work/s2"
    status_is 1
    says err "the merged report $work/s1 and the shard report $work/s1 overlap"
    mk "$work/other/a" && S -m "$fixed" -c "$work/other" -o "$work/o2" --shard 2/3
    merge 1 "$work/o2: another case folder (other) than $work/s0 (c)" "$work/s0" "$work/s1" "$work/o2"
    S -m "$pose" -c "$work/c" -o "$work/p2" --shard 2/3
    merge 1 "$work/p2: another model" "$work/s0" "$work/s1" "$work/p2"
    S -m "$fixed" -c "$work/c" -o "$work/h1" --shard 1/2
    merge 1 "$work/h1: shard 1/2 of another split than $work/s0 (3 shards)" "$work/s0" "$work/h1" "$work/s2"
    cp -r "$work/s1" "$work/again"
    merge 1 "shard 1/3 given twice: $work/s1 and $work/again" "$work/s0" "$work/s1" "$work/again" "$work/s2"
    [ "$(cd "$work" && find s0 s1 s2 -type f -exec md5sum {} + | sort)" = "$before" ] || fail "a shard report changed"
    # A missing shard is named; --partial accepts it.
    S --merge "$work/m" "$work/s0" "$work/s2"
    status_is 1
    says err "facepose_suite: --merge: shard 1/3 missing"
    says out "3 cases: 3 passed, 0 failed, 0 could not run (shards 0,2/3)"
    S --merge "$work/m" --partial "$work/s0" "$work/s2"
    status_is 0
    S --merge "$work/m" "$work/s2" "$work/s1" "$work/s0"
    status_is 0
    says out "5 cases: 5 passed, 0 failed, 0 could not run (shards 0,1,2/3)"
}

run_table_rows "$root/tests/suite/hostile_rows.txt" "$@"
