#!/usr/bin/env bash
# Runs one end-to-end case against the built load-file inspector.
#
#   run_golden_dump.sh QVEKDUMP CASE_DIR
#
# A case folder holds, as the assembler's cases under golden/ do:
#   args      the argument words, one per line (empty: no words)
#   files/    input files, copied into a fresh working folder (optional)
#   stdin     fed to standard input (optional: absent means an empty input)
#   stdout    the expected standard output, byte for byte
#   stderr    the expected standard error, byte for byte (optional: absent means empty)
#   status    the expected exit status
#   expect/   files that must exist afterwards, with exactly this content (optional)
#   absent    names that must not exist afterwards, one per line (optional)
#
# The inspector's output depends on its input files alone, so nothing is
# masked. QVEK_GOLDEN_UPDATE=1 rewrites stdout, stderr, status and the files
# already under expect/ from the actual run, for review. QVEK_GOLDEN_WRAPPER,
# when set, holds words run in front of the program (a memory checker, for
# instance).
set -u
qvekdump=$1
case_dir=$2
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

[ -d "$case_dir/files" ] && cp -a "$case_dir/files/." "$work/"
args=()
if [ -s "$case_dir/args" ]; then
    mapfile -t args < "$case_dir/args"
fi

wrapper=()
read -ra wrapper <<< "${QVEK_GOLDEN_WRAPPER:-}"
input=/dev/null
[ -f "$case_dir/stdin" ] && input=$case_dir/stdin
(cd "$work" && "${wrapper[@]}" "$qvekdump" "${args[@]}" < "$input" > "$work/.stdout" 2> "$work/.stderr")
status=$?

if [ "${QVEK_GOLDEN_UPDATE:-0}" = 1 ]; then
    cp "$work/.stdout" "$case_dir/stdout"
    if [ -s "$work/.stderr" ]; then cp "$work/.stderr" "$case_dir/stderr"; else rm -f "$case_dir/stderr"; fi
    echo "$status" > "$case_dir/status"
    if [ -d "$case_dir/expect" ]; then
        (cd "$case_dir/expect" && find . -type f) | while read -r f; do
            cp "$work/$f" "$case_dir/expect/$f"
        done
    fi
    exit 0
fi

failed=0
compare() {  # expected actual what
    if ! cmp -s "$1" "$2"; then
        echo "$3 differs:"
        diff -a "$1" "$2" | head -40
        failed=1
    fi
}
compare "$case_dir/stdout" "$work/.stdout" "standard output"
if [ -f "$case_dir/stderr" ]; then
    compare "$case_dir/stderr" "$work/.stderr" "standard error"
else
    compare /dev/null "$work/.stderr" "standard error"
fi
expected_status=$(cat "$case_dir/status")
if [ "$status" != "$expected_status" ]; then
    echo "exit status $status, expected $expected_status"
    failed=1
fi
if [ -d "$case_dir/expect" ]; then
    while read -r f; do
        if [ ! -f "$work/$f" ]; then
            echo "missing file $f"
            failed=1
        else
            compare "$case_dir/expect/$f" "$work/$f" "file $f"
        fi
    done < <(cd "$case_dir/expect" && find . -type f)
fi
if [ -f "$case_dir/absent" ]; then
    while read -r f; do
        if [ -n "$f" ] && [ -e "$work/$f" ]; then
            echo "file $f should not exist"
            failed=1
        fi
    done < "$case_dir/absent"
fi
exit $failed
