#!/usr/bin/env bash
# Runs one golden case under valgrind's memcheck: any memory error, and any
# block still allocated at exit, fails it, as a wrong output would.
#
#   run_memcheck.sh VALGRIND RUNNER PROGRAM CASE_DIR
#
# RUNNER is run_golden.sh or run_golden_dump.sh; the checker's report goes to
# a file of its own, so the case's standard error is compared as usual.
set -u
valgrind=$1
runner=$2
shift 2
log=$(mktemp)
trap 'rm -f "$log"' EXIT

QVEK_GOLDEN_WRAPPER="$valgrind -q --error-exitcode=99 --leak-check=full --show-leak-kinds=all \
--errors-for-leak-kinds=all --track-fds=yes --log-file=$log" bash "$runner" "$@"
status=$?
# Descriptors the test harness handed down are no fault of the program.
report=$(awk '
    { sub(/^==[0-9]+== ?/, "") }
    /^FILE DESCRIPTORS:/ { next }
    held != "" { if ($0 !~ /<inherited from parent>/) print held; held = "" }
    /^Open .*descriptor/ { held = $0; next }
    /<inherited from parent>/ { next }
    $0 != "" { print }' "$log")
if [ -n "$report" ]; then
    printf '%s\n' "$report"
    status=1
fi
exit $status
