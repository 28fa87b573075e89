#!/usr/bin/env bash
# Runs the end-to-end cases of test_facepose under valgrind's memcheck: the
# driver cases (tests/src/cases) and the bad-input matrix
# (tests/src/bad_inputs/cases.txt), each checked as usual, plus valgrind's own
# verdict: no memory error and nothing definitely lost. Library-held memory
# that valgrind would otherwise report is suppressed in scripts/memcheck.supp,
# each entry with the reason.
#
#   scripts/memcheck.sh            # every case
#   scripts/memcheck.sh PATTERN    # only the cases whose name matches PATTERN
#
# Builds the normal build first (scripts/setup.sh; BUILD_DIR as there). The
# bad inputs of a million lines or 10 MB lines, and the 30000 x 30000 PNG
# (OpenCV allocates its 2.7 GB before it finds the data missing, and valgrind
# shadows every byte), take minutes under valgrind and are left out; their
# memory behaviour is the sanitizer build's to check.
set -uo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
build=${BUILD_DIR:-$root/build}
pattern=${1:-.}
export BUILD_DIR=$build
"$root/scripts/setup.sh" || exit 1
dpkg -s valgrind >/dev/null 2>&1 || {
    sudo=()
    [ "$(id -u)" -eq 0 ] || sudo=(sudo)
    DEBIAN_FRONTEND=noninteractive "${sudo[@]}" apt-get install -y -q valgrind
}

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir "$work/real" "$work/logs"
ln -s "$build/test/src/test_facepose" "$work/real/test_facepose"

# The program the cases run: valgrind around test_facepose, which it still
# finds as "test_facepose" so that argv[0] (and the usage text) is unchanged.
# The model reader's trial read runs in a forked child that ends with _exit;
# the parent repeats that read, so the child's own report is left out.
cat >"$work/test_facepose" <<WRAPPER
#!/bin/sh
PATH="$work/real:\$PATH" exec valgrind --tool=memcheck --leak-check=full \\
    --show-leak-kinds=definite --errors-for-leak-kinds=definite --error-exitcode=99 \\
    --child-silent-after-fork=yes \\
    --track-origins=yes --suppressions="$root/scripts/memcheck.supp" \\
    --log-file="$work/logs/\$MEMCHECK_CASE.%p.log" test_facepose "\$@"
WRAPPER
chmod +x "$work/test_facepose"

failed_cases=()
runs=0
run() {
    local name=$1
    shift
    export MEMCHECK_CASE=$name
    runs=$((runs + 1))
    if ! "$@" >"$work/$name.out" 2>&1; then
        failed_cases+=("$name")
        echo "FAIL $name"
        sed 's/^/    /' "$work/$name.out" | head -n 20
    else
        echo "ok   $name"
    fi
}

for case_dir in "$root"/tests/src/cases/*/; do
    name=driver.$(basename "$case_dir")
    [[ $name =~ $pattern ]] || continue
    run "$name" "$root/tests/src/run_case.sh" "$work/test_facepose" "${case_dir%/}" \
        "$root/tests/src/data" "$root/sample"
done
while read -r name _; do
    [[ $name =~ ^[a-z] ]] || continue
    [[ $name =~ million|10mb|large-png ]] && continue
    # Rows that signal the program, make fork fail or close standard output
    # act on valgrind itself (it takes the free descriptor 1 for its own use).
    [[ $name =~ during-read|fork-fails|stdout-closed ]] && continue
    [[ bad_input.$name =~ $pattern ]] || continue
    run "bad_input.$name" "$root/tests/src/bad_inputs/run_bad_input.sh" "$work/test_facepose" \
        "$root/tests/src/bad_inputs/cases.txt" "$name" "$root/sample"
done <"$root/tests/src/bad_inputs/cases.txt"

# valgrind's verdicts, summed over every process it watched.
sum() { grep -h "$1" "$work"/logs/*.log 2>/dev/null | sed -E "s/.*$1 *([0-9,]+).*/\1/" |
    tr -d , | awk '{ s += $1 } END { print s + 0 }'; }
processes=$(find "$work/logs" -name '*.log' | wc -l)
errors=$(sum 'ERROR SUMMARY:')
echo
echo "memcheck: $runs cases, $processes processes watched"
echo "  errors:            $errors"
echo "  definitely lost:   $(sum 'definitely lost:') bytes"
echo "  indirectly lost:   $(sum 'indirectly lost:') bytes"
echo "  possibly lost:     $(sum 'possibly lost:') bytes"
echo "  still reachable:   $(sum 'still reachable:') bytes (held by the libraries at exit)"
echo "  suppressed:        $(sum '  suppressed:') bytes"
if ((errors > 0)); then
    grep -l 'ERROR SUMMARY: [1-9]' "$work"/logs/*.log | while read -r log; do
        echo "--- $(basename "$log")"
        sed -n '/^==[0-9]*== [A-Z]/,/^==[0-9]*== $/p' "$log" | head -n 40
    done
fi
if ((${#failed_cases[@]})); then
    echo "failed cases: ${failed_cases[*]}"
    exit 1
fi
((errors == 0))
