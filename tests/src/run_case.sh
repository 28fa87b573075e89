#!/usr/bin/env bash
# Runs one end-to-end case of test_facepose and compares what it did with
# what the case folder expects.
#
#   run_case.sh PROGRAM CASE_DIR DATA_DIR SAMPLE_DIR
#
# A case folder holds:
#   args      the command-line arguments, one per line (an empty line is an
#             empty argument); {data}, {sample} and {case} stand for the
#             data, sample and case folders
#   stdout    the exact standard output (same placeholders)
#   status    the exit status
#   stderr    optional: lines that must each appear within standard error
#   files/    optional: files the run must leave in its working directory,
#             with exactly this content
#   no-files  optional: names that must not exist in the working directory
#   merged    optional: the exact output of a second run with standard error
#             joined to standard output in one pipe, each glog record's date,
#             time and thread id left out ("I test_facepose.cpp:118] ...")
# The program runs as "test_facepose" in an empty working directory.
set -u

program=$1 case_dir=$2 data_dir=$3 sample_dir=$4
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir "$work/bin" "$work/run"
ln -s "$program" "$work/bin/test_facepose"

expand() {
    sed -e "s|{data}|$data_dir|g" -e "s|{sample}|$sample_dir|g" -e "s|{case}|$case_dir|g" "$1"
}

args=()
[ -f "$case_dir/args" ] && mapfile -t args < <(expand "$case_dir/args")

cd "$work/run"
PATH="$work/bin:$PATH" timeout 60 test_facepose "${args[@]}" >"$work/stdout" 2>"$work/stderr" </dev/null
status=$?

failed=0
fail() { echo "FAIL: $*"; failed=1; }

expected_status=$(cat "$case_dir/status")
[ "$status" = "$expected_status" ] || fail "exit status $status, expected $expected_status"

if ! diff -u <(expand "$case_dir/stdout") "$work/stdout" >"$work/stdout.diff"; then
    fail "standard output differs (expected vs actual):"
    cat "$work/stdout.diff"
fi

if [ -f "$case_dir/stderr" ]; then
    while IFS= read -r line; do
        grep -qF -- "$line" "$work/stderr" || fail "standard error lacks: $line"
    done < <(expand "$case_dir/stderr")
fi

if [ -d "$case_dir/files" ]; then
    for expected in "$case_dir/files"/* "$case_dir/files"/.[!.]*; do
        [ -e "$expected" ] || continue
        name=$(basename "$expected")
        if [ ! -f "$work/run/$name" ]; then
            fail "no file $name was written"
        elif ! diff -u <(expand "$expected") "$work/run/$name" >"$work/file.diff"; then
            fail "file $name differs (expected vs actual):"
            cat "$work/file.diff"
        fi
    done
fi

if [ -f "$case_dir/no-files" ]; then
    while IFS= read -r name; do
        [ -e "$work/run/$name" ] && fail "file $name should not exist"
    done <"$case_dir/no-files"
fi

if [ -f "$case_dir/merged" ]; then
    mkdir "$work/merged-run"
    (cd "$work/merged-run" &&
        PATH="$work/bin:$PATH" timeout 60 test_facepose "${args[@]}" 2>&1 </dev/null | cat) |
        sed -E 's/^([IWEF])[0-9]{8} [0-9:.]+ +[0-9]+ /\1 /' >"$work/merged"
    if ! diff -u <(expand "$case_dir/merged") "$work/merged" >"$work/merged.diff"; then
        fail "standard output and error joined in one pipe differ (expected vs actual):"
        cat "$work/merged.diff"
    fi
fi

if [ "$failed" -ne 0 ]; then
    echo "--- standard error ---"
    cat "$work/stderr"
fi
exit "$failed"
