# The row driver of a shell table test, sourced after the script has defined
# one function row_<name> per row, `work` (a scratch folder emptied before
# each row), `failed` and `fail` (which names the row in `row`):
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
