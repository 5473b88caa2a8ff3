#!/usr/bin/env bash
# Runs one end-to-end case against the built assembler.
#
#   run_golden.sh QVEK CASE_DIR
#
# A case folder holds:
#   args      the argument words, one per line (empty: no words)
#   files/    input files, copied into a fresh working folder (optional)
#   env       VAR=value lines set for the run (optional)
#   stdout    the expected standard output, byte for byte
#   status    the expected exit status
#   expect/   files that must exist afterwards, with exactly this content (optional)
#   absent    names that must not exist afterwards, one per line (optional)
#   exact     present: files are compared whole, time stamps included (for runs
#             that fix the stamp through SOURCE_DATE_EPOCH in env)
#
# Load files carry the time of the run: in lines beginning with '#', a time stamp
# at the end of the line is masked as DD-Mon-YYYY HH:MM:SS on both sides, and
# every other byte is compared. QVEK_GOLDEN_UPDATE=1 rewrites stdout, status
# and the files already under expect/ from the actual run, for review.
# QVEK_GOLDEN_WRAPPER, when set, holds words run in front of the program (a
# memory checker, for instance).
set -u
qvek=$1
case_dir=$2
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

mask() {
    if [ -e "$case_dir/exact" ]; then
        cat "$1"
        return
    fi
    LC_ALL=C sed -E '/^#/ s/ on [0-9]{2}-[A-Z][a-z]{2}-[0-9]{4} [0-9]{2}:[0-9]{2}:[0-9]{2}$/ on DD-Mon-YYYY HH:MM:SS/' "$1"
}

[ -d "$case_dir/files" ] && cp -a "$case_dir/files/." "$work/"
args=()
if [ -s "$case_dir/args" ]; then
    mapfile -t args < "$case_dir/args"
fi
env_words=()
if [ -f "$case_dir/env" ]; then
    mapfile -t env_words < "$case_dir/env"
fi

wrapper=()
read -ra wrapper <<< "${QVEK_GOLDEN_WRAPPER:-}"
(cd "$work" && env "${env_words[@]}" "${wrapper[@]}" "$qvek" "${args[@]}" > "$work/.stdout")
status=$?

if [ "${QVEK_GOLDEN_UPDATE:-0}" = 1 ]; then
    cp "$work/.stdout" "$case_dir/stdout"
    echo "$status" > "$case_dir/status"
    if [ -d "$case_dir/expect" ]; then
        (cd "$case_dir/expect" && find . -type f) | while read -r f; do
            mask "$work/$f" > "$case_dir/expect/$f"
        done
    fi
    exit 0
fi

failed=0
if ! cmp -s "$work/.stdout" "$case_dir/stdout"; then
    echo "standard output differs:"
    diff -a "$case_dir/stdout" "$work/.stdout" | head -40
    failed=1
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
        elif ! cmp -s <(mask "$work/$f") <(mask "$case_dir/expect/$f"); then
            echo "file $f differs:"
            diff -a <(mask "$case_dir/expect/$f") <(mask "$work/$f") | head -40
            failed=1
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
