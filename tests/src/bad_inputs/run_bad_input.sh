#!/usr/bin/env bash
# Runs one row of the bad-input matrix (cases.txt) through test_facepose and
# checks how it ended.
#
#   run_bad_input.sh PROGRAM CASES_FILE CASE_NAME SAMPLE_DIR
#
# A row names a maker for each input (model folder, image, expectation file),
# an optional fault injected with strace, and the expected ending: exit
# status, what becomes of the validation log, and texts that must appear on
# standard output or standard error. Large inputs are made here, at run time.
#
# Every run must also end by itself within 60 s, with a status below 128 (no
# signal, no sanitizer abort) unless the row sends the signal, leave no log
# file that is not complete and no temporary file, and change nothing
# outside its working directory.
set -u

program=$1 cases=$2 name=$3 sample=$4
here=$(cd "$(dirname "$0")" && pwd)

row=$(awk -v n="$name" '$1 == n' "$cases")
[ -n "$row" ] || { echo "no case $name in $cases"; exit 2; }
read -r _ model image expectation fault status log expected <<<"$row"

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir "$work/in" "$work/run"
in=$work/in

# ---- model folders: each maker prints the folder for -m ------------------
model_file=light_rpoly_lmp_iter_75000_w_scale.nmodel
model_folder() {
    mkdir -p "$in/model"
    echo "$in/model"
}
make_model() {
    case $1 in
    sample) echo "$sample/fixed-model" ;;
    empty) : >"$(model_folder)/$model_file"; model_folder ;;
    truncated) head -c 400 "$sample/fixed-model/$model_file" >"$(model_folder)/$model_file"
        model_folder ;;
    unknown-kind) printf '%%YAML:1.0\n---\nkind: "guess"\noutput: [ 1, 2, 3 ]\n' \
        >"$(model_folder)/$model_file"; model_folder ;;
    no-kind) printf '%%YAML:1.0\n---\noutput: [ 1, 2, 3 ]\n' >"$(model_folder)/$model_file"
        model_folder ;;
    not-numbers) printf '%%YAML:1.0\n---\nkind: "fixed"\noutput: [ 0.5, many, 3 ]\n' \
        >"$(model_folder)/$model_file"; model_folder ;;
    binary) head -c 4096 /dev/urandom >"$(model_folder)/$model_file"; model_folder ;;
    nul-bytes) printf '%%YAML:1.0\n---\nkind: "fi\0xed"\noutput: [ 1, 2 ]\n' \
        >"$(model_folder)/$model_file"; model_folder ;;
    # A landmark_pose model whose detector claims a 100000 x 100000 matrix
    # and holds three bytes.
    huge-matrix) printf '%%YAML:1.0\n---\nkind: landmark_pose\nformat: 2\ndetector:\n   onnx: !!opencv-matrix\n      rows: 100000\n      cols: 100000\n      dt: u\n      data: [ 1, 2, 3 ]\n   input_size: 128\n   score_threshold: 0.5\n   nms_threshold: 0.3\n' \
        >"$(model_folder)/$model_file"; model_folder ;;
    pose-truncated) head -c 1500 "$here/../../fuzz/corpus/fuzz_model_file/pose-first-tensors" \
        >"$(model_folder)/$model_file"; model_folder ;;
    # Base64 data whose 24-byte header (the element type) is blank: OpenCV
    # 4.6's reader loops forever on it, in each of the three syntaxes.
    base64-blank-yaml) printf '%%YAML:1.0\n---\nkind: "fixed"\noutput: !!binary |\n   ICAgICAgICAgICAgICAgICAgICAgICAgAQID\n' \
        >"$(model_folder)/$model_file"; model_folder ;;
    base64-blank-json) printf '{ "kind": "fixed", "output": "$base64$ICAgICAgICAgICAgICAgICAgICAgICAgAQID" }\n' \
        >"$(model_folder)/$model_file"; model_folder ;;
    base64-blank-xml) printf '<?xml version="1.0"?>\n<opencv_storage>\n<kind>fixed</kind>\n<output type_id="binary">ICAgICAgICAgICAgICAgICAgICAgICAgAQID</output>\n</opencv_storage>\n' \
        >"$(model_folder)/$model_file"; model_folder ;;
    # The fuzzer's find: a "!!binary" tag inside a flow sequence, whose
    # following text decodes to a blank header.
    base64-in-sequence) cp "$here/../../fuzz/corpus/fuzz_model_file/base64-tag-in-sequence-hang" \
        "$(model_folder)/$model_file"; model_folder ;;
    # The fuzzer's second find: malformed nested YAML sequences on which
    # OpenCV's reader loops forever, no base64 involved.
    yaml-loop) cp "$here/../../fuzz/opencv-reader/yaml-nested-sequence-hang" \
        "$(model_folder)/$model_file"; model_folder ;;
    # The fuzzer's third find: malformed XML on which OpenCV's reader
    # dereferences a null pointer.
    xml-crash) cp "$here/../../fuzz/opencv-reader/xml-null-crash" "$(model_folder)/$model_file"
        model_folder ;;
    # Well-formed base64 (three bytes 1, 2, 3) still reads.
    base64-bytes) printf '%%YAML:1.0\n---\nkind: "fixed"\noutput: !!binary |\n   MXUgICAgICAgICAgICAgICAgICAgICAgAQID\n' \
        >"$(model_folder)/$model_file"; model_folder ;;
    directory) mkdir -p "$(model_folder)/$model_file"; model_folder ;;
    dangling-link) ln -s "$in/nowhere" "$(model_folder)/$model_file"; model_folder ;;
    *) echo "unknown model maker $1" >&2; exit 2 ;;
    esac
}

# ---- images: each maker prints the path for -p --------------------------
make_image() {
    case $1 in
    sample) echo "$sample/face.png" ;;
    empty) : >"$in/empty.png"; echo "$in/empty.png" ;;
    truncated) head -c 300 "$sample/face.png" >"$in/truncated.png"; echo "$in/truncated.png" ;;
    not-image) echo "just some text" >"$in/text.png"; echo "$in/text.png" ;;
    huge-png) python3 "$here/make_png.py" "$in/huge.png" 100000 100000; echo "$in/huge.png" ;;
    large-png) python3 "$here/make_png.py" "$in/large.png" 30000 30000; echo "$in/large.png" ;;
    huge-ppm) printf 'P6\n2000000000 2000000000\n255\n\1\2\3' >"$in/huge.ppm"; echo "$in/huge.ppm" ;;
    *) echo "unknown image maker $1" >&2; exit 2 ;;
    esac
}

# ---- expectation files: each maker prints the path for -v (or nothing) --
numeric_head='Type: numeric-match\nNums to Check: 1\nThreshold: 1\nValid data:\n'
make_expectation() {
    local file=$in/case.nkvalid
    case $1 in
    none) return ;;
    sample) cp "$sample/face.nkvalid" "$file" ;;
    nul-in-type) printf 'Type: numeric\0-match\nValid data:\n< 45 -22.5 11.25\n' >"$file" ;;
    nul-in-data) printf "$numeric_head"'< 45 -22.5\0 99 11.25\n' >"$file" ;;
    crlf) printf 'Type: numeric-match\r\nNums to Check: 1\r\nThreshold: 1\r\nValid data:\r\n< 45 -22.5 11.25\r\n' >"$file" ;;
    invalid-utf8) printf "$numeric_head"'< 45 -22.5 11.25 # \xff\xfe\xc3\x28 comment\n\xc3\x28\n' >"$file" ;;
    invalid-utf8-strings) printf 'Type: string-match\nValid data\n\xff\xfe\xc3\x28\n\xed\xa0\x80\n' >"$file" ;;
    line-10mb) { printf "$numeric_head"'< 45 -22.5 11.25'; head -c 10485760 /dev/zero | tr '\0' '7'
        printf '\n'; } >"$file" ;;
    comment-10mb) { printf "$numeric_head"'< 45 -22.5 11.25 #'; head -c 10485760 /dev/zero | tr '\0' '#'
        printf '\n'; } >"$file" ;;
    million-garbage) { printf 'Type: string-match\nValid data\n'
        awk 'BEGIN { for (i = 0; i < 1000000; i++) printf "garbage %d \377 %x\n", i, (i * 2654435761) % 4294967296 }'
        } >"$file" ;;
    million-data-lines) { printf 'Type: numeric-match\nNums to Check: 1\nThreshold: 1\nValid data:\n'
        yes '< 45 -22.5 11.25' | head -n 1000000; } >"$file" ;;
    garbage-header) python3 -c "import random, sys; random.seed(6); sys.stdout.buffer.write(bytes(random.getrandbits(8) for _ in range(1000000)))" >"$file" ;;
    directory) mkdir "$file" ;;
    fifo) mkfifo "$file" ;;
    dev-null) echo /dev/null; return ;;
    dev-null-link) ln -s /dev/null "$file" ;;
    missing) ;;
    thousand-data-lines) { printf "$numeric_head"; yes '< 45 -22.5 11.25' | head -n 1000; } >"$file" ;;
    # What already stands at the log's name in the working directory.
    log-is-directory) cp "$sample/face.nkvalid" "$file"; mkdir "$work/run/case.log" ;;
    log-is-link) cp "$sample/face.nkvalid" "$file"; echo outside >"$in/outside"
        ln -s "$in/outside" "$work/run/case.log" ;;
    log-is-dangling-link) cp "$sample/face.nkvalid" "$file"; ln -s "$in/nowhere" "$work/run/case.log" ;;
    log-is-fifo) cp "$sample/face.nkvalid" "$file"; mkfifo "$work/run/case.log" ;;
    log-is-hard-link) cp "$sample/face.nkvalid" "$file"; echo other name >"$in/other"
        ln "$in/other" "$work/run/case.log" ;;
    earlier-log) cp "$sample/face.nkvalid" "$file"; echo earlier log >"$work/run/case.log" ;;
    # A name as long as a folder entry may be, and so its log's name.
    longest-name) file=$in/$(head -c 247 /dev/zero | tr '\0' n).nkvalid; cp "$sample/face.nkvalid" "$file" ;;
    *) echo "unknown expectation maker $1" >&2; exit 2 ;;
    esac
    echo "$file"
}

model_dir=$(make_model "$model") || exit 2
pic=$(make_image "$image") || exit 2
valid=$(make_expectation "$expectation") || exit 2
args=(-m "$model_dir" -p "$pic")
[ "$expectation" = none ] || args+=(-v "$valid")

# ---- faults: a file that vanishes between its check and its use, a failing
# write or rename of the log, a lost standard output, no process for the
# model's trial read, a signal while the model is read.
wrapper=()
stdout_to=$work/stdout
size_limit=
signal_during_read=
case $fault in
-) ;;
model-vanishes) wrapper=(strace -f -qq -o /dev/null -P "$model_dir/$model_file" -e trace=openat
    -e inject=openat:error=ENOENT) ;;
image-vanishes) wrapper=(strace -f -qq -o /dev/null -P "$pic" -e trace=openat
    -e inject=openat:error=ENOENT) ;;
expectation-vanishes) wrapper=(strace -f -qq -o /dev/null -P "$valid" -e trace=openat
    -e inject=openat:error=ENOENT) ;;
log-rename-fails) wrapper=(strace -f -qq -o /dev/null -e trace=rename,renameat,renameat2
    -e inject=rename,renameat,renameat2:error=EIO) ;;
# Files may not grow beyond 8 KiB; standard output goes through a pipe.
log-size-limit) size_limit=8 ;;
fork-fails) wrapper=(strace -qq -o /dev/null -e trace=clone -e inject=clone:error=EAGAIN) ;;
stdout-full) stdout_to=/dev/full ;;
stdout-closed) stdout_to=- ;;
term-during-model-read) signal_during_read=TERM ;;
stop-during-model-read) signal_during_read=STOP ;;
*) echo "unknown fault $fault"; exit 2 ;;
esac

# Everything outside the working directory must stay as the makers left it
# (nothing is written through a link); so must the working directory itself
# when the log outcome is "kept".
snapshot() {
    (cd "$1" && find . -printf '%p %y %l %s\n' | LC_ALL=C sort && find . -type f -exec md5sum {} + | LC_ALL=C sort)
}
inputs_before=$(snapshot "$in")
run_before=$(snapshot "$work/run")

# A sanitizer build also stops at any single allocation above 4 GB: no input
# of this matrix needs one. LeakSanitizer cannot work under strace (ptrace),
# so runs with an injected fault leave leak checking out.
export ASAN_OPTIONS=${ASAN_OPTIONS:+$ASAN_OPTIONS:}max_allocation_size_mb=4096
((${#wrapper[@]})) && ASAN_OPTIONS=$ASAN_OPTIONS:detect_leaks=0

failed=0
fail() { echo "FAIL: $*"; failed=1; }

# A process of the program's that is still alive (not a zombie).
alive() {
    [ -e "/proc/$1" ] && ! grep -q '^[0-9]* (.*) Z' "/proc/$1/stat" 2>/dev/null
}
# Waits up to $2 seconds for process $1 to end; false when it is still alive.
ends_within() {
    local tenths=$(($2 * 10))
    while ((tenths-- > 0)); do
        alive "$1" || return 0
        sleep 0.1
    done
    ! alive "$1"
}

cd "$work/run"
if [ -n "$signal_during_read" ]; then
    # The model's trial read runs in a child process; signal the program once
    # the child is there. The child must not outlive the program, nor keep
    # running while the program is stopped.
    "$program" "${args[@]}" >"$work/stdout" 2>"$work/stderr" </dev/null &
    pid=$!
    child=
    for _ in $(seq 100); do
        child=$(cat "/proc/$pid/task/$pid/children" 2>/dev/null | awk '{ print $1 }')
        [ -n "$child" ] && break
        sleep 0.1
    done
    [ -n "$child" ] || fail "no child process read the model"
    if [ "$signal_during_read" = TERM ]; then
        kill -TERM "$pid"
        wait "$pid"
        actual=$?
        [ -z "$child" ] || ends_within "$child" 5 || fail "the model-reading child outlived the program"
    else
        kill -STOP "$pid"
        [ -z "$child" ] || ends_within "$child" 90 || fail "the model-reading child kept running"
        kill -CONT "$pid"
        wait "$pid"
        actual=$?
    fi
    [ -n "$child" ] && alive "$child" && kill -KILL "$child"
elif [ -n "$size_limit" ]; then
    timeout -k 5 60 bash -c 'ulimit -f "$0" && exec "$@"' "$size_limit" "$program" "${args[@]}" \
        2>"$work/stderr" </dev/null | cat >"$work/stdout"
    actual=${PIPESTATUS[0]}
elif [ "$stdout_to" = - ]; then
    timeout -k 5 60 "${wrapper[@]}" "$program" "${args[@]}" >&- 2>"$work/stderr" </dev/null
    actual=$?
else
    timeout -k 5 60 "${wrapper[@]}" "$program" "${args[@]}" >"$stdout_to" 2>"$work/stderr" </dev/null
    actual=$?
fi
[ "$stdout_to" = "$work/stdout" ] || : >"$work/stdout"

if [ "$actual" -eq 124 ] || [ "$actual" -eq 137 ]; then
    fail "no end within 60 s"
elif [ "$actual" -ge 128 ] && [ "$actual" != "$status" ]; then
    fail "ended by a signal or an abort (status $actual)"
fi
[ "$actual" = "$status" ] || fail "exit status $actual, expected $status"

IFS='|' read -r -a texts <<<"$expected"
for text in "${texts[@]}"; do
    grep -qaF -- "$text" "$work/stdout" "$work/stderr" || fail "no output says: $text"
done

# The log: "none" means nothing at all in the working directory, "complete"
# one whole log and nothing else (no temporary file), "kept" the working
# directory exactly as the makers left it.
entries=()
for file in "$work/run"/* "$work/run"/.[!.]*; do
    [ -e "$file" ] || [ -L "$file" ] && entries+=("$file")
done
case $log in
none) ((${#entries[@]} == 0)) || fail "files were left: ${entries[*]##*/}" ;;
kept) [ "$(snapshot "$work/run")" = "$run_before" ] || {
    fail "the working directory changed:"; ls -la "$work/run"; } ;;
complete)
    if ((${#entries[@]} != 1)) || [[ "${entries[0]}" != *.log ]] || [ -L "${entries[0]}" ] ||
        [ ! -f "${entries[0]}" ]; then
        fail "expected one complete log and nothing else, found: ${entries[*]##*/}"
    elif ! head -n 1 "${entries[0]}" | grep -qx '\[System message\]' ||
        ! grep -qx '\[Check message\]' "${entries[0]}" ||
        ! grep -qx '\[Valid Data\]' "${entries[0]}" ||
        ! grep -q '^    Total validation num: ' "${entries[0]}" ||
        [ -n "$(tail -c 1 "${entries[0]}")" ]; then
        fail "the log is not complete:"
        head -n 20 "${entries[0]}"
    fi ;;
*) fail "unknown log outcome $log" ;;
esac
[ "$(snapshot "$in")" = "$inputs_before" ] || fail "a file outside the working directory changed"

if [ "$failed" -ne 0 ]; then
    echo "--- standard output (first lines) ---"
    head -c 2000 "$work/stdout"
    echo "--- standard error (first lines) ---"
    head -c 2000 "$work/stderr"
fi
exit "$failed"
