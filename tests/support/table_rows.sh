# The frame of a shell table test, sourced first: table_start sets up what
# every row uses; the script then defines one function row_<name> per row
# and hands over to run_table_rows.
#
#   table_start ROOT SUITE   `root` and `suite` (real paths), `work` (a scratch
#                            folder, emptied before each row and removed at
#                            exit unless KEEP is set, then printed), `fixed`
#                            (the fixed model), `failed`, `row`
#   fail MESSAGE...          names the row in `row` and marks the table failed
#
#   run_table_rows ROWS_FILE --registered COUNT   COUNT must be the file's number of rows
#   run_table_rows ROWS_FILE [ROW...]             runs the rows given, or every row
#
# A row the file does not list, or that has no function, fails; so does a run
# in which fewer rows ran than were asked for. Returns the table's status.
run_table_rows() {
    local listed
    listed=$(sed -nE 's/^([a-z0-9-]+) .*/\1/p' "$1")
    shift
    if [ "${1:-}" = --registered ]; then
        [ "$2" = "$(wc -l <<<"$listed")" ] && return 0
        echo "FAIL: $2 rows registered, $(wc -l <<<"$listed") listed"
        return 1
    fi
    local rows=("$@") ran=0
    [ $# -gt 0 ] || mapfile -t rows <<<"$listed"
    for row in "${rows[@]}"; do
        if ! grep -qxF -- "$row" <<<"$listed" || [ "$(type -t "row_$row")" != function ]; then
            fail "no such row"
            continue
        fi
        rm -rf "${work:?}"/*
        "row_$row"
        ran=$((ran + 1))
    done
    ((ran == ${#rows[@]} && ran > 0)) || { echo "FAIL: $ran of ${#rows[@]} rows ran"; failed=1; }
    return $failed
}

table_start() {
    root=$(realpath "$1") suite=$(realpath "$2")
    work=$(mktemp -d)
    trap 'rm -rf "$work"' EXIT
    if [ -n "${KEEP:-}" ]; then
        trap - EXIT
        echo "$work"
    fi
    fixed=$root/sample/fixed-model
    failed=0
    row=
}

fail() { echo "FAIL: $row: $*"; failed=1; }
