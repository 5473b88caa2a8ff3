#!/usr/bin/env bash
# The inspector's failures that a golden case cannot set up: a load file that
# cannot be read twice, a source with too many includes, and (with the
# preloaded allocator FAIL_ALLOC) no memory for each of its large records.
#
#   run_dump_faults.sh QVEK QVEKDUMP [FAIL_ALLOC]
set -u
qvek=$1
qvekdump=$2
fail_alloc=${3:-}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work" || exit 1

failed=0
# expect STATUS STDERR COMMAND...: the command's status and standard error, exactly.
expect() {
    local status=$1 message=$2
    shift 2
    "$@" > out.txt 2> err.txt
    local actual=$?
    if [ "$actual" != "$status" ] || [ "$(cat err.txt)" != "$message" ]; then
        echo "FAILED: $*"
        echo "  status $actual, expected $status"
        echo "  standard error: $(cat err.txt)"
        echo "  expected:       $message"
        failed=1
    fi
}

printf 'PAT #P H12345678\n#L LDA 5\nJMP #L\n' > prog.qvs
printf 'tail\n' > TAIL.TXT
"$qvek" -s -aTAIL.TXT prog.qvs prog.ucd

# Appended content is copied by seeking back to it, which a pipe cannot do.
mkfifo pipe.ucd
cat prog.ucd > pipe.ucd &
expect 1 $'\nERROR:- Could not copy the content appended to pipe.ucd !' \
    "$qvekdump" --convert debughw pipe.ucd -o converted.txt
wait
[ -e converted.txt ] && { echo "FAILED: converted.txt left behind"; failed=1; }

# One include more than a make rule lists.
: > many.qvs
for i in $(seq 1 1025); do
    : > "F$i.INC"
    echo "INC F$i.INC" >> many.qvs
done
expect 1 $'\nERROR:- Source file many.qvs includes more than 1024 files. No rule written !' \
    "$qvekdump" --make-deps many.qvs
expect 0 "" "$qvekdump" --make-deps F1.INC

if [ -n "$fail_alloc" ]; then
    nomem() { QVEK_FAIL_LARGE_ALLOC=$1 LD_PRELOAD=$fail_alloc "${@:2}"; }
    # The first large record is the load file's image, the second the state that assembles.
    expect 1 $'\nERROR:- Out of memory reading prog.ucd !' nomem 1 "$qvekdump" prog.ucd
    expect 1 $'\nERROR:- Out of memory for the source prog.qvs !' nomem 2 "$qvekdump" --source prog.qvs prog.ucd
    expect 1 $'\nERROR:- Out of memory converting prog.ucd !' nomem 2 "$qvekdump" --convert debughw prog.ucd
    expect 1 $'\nERROR:- Out of memory for the source prog.qvs !' nomem 1 "$qvekdump" --make-deps prog.qvs
    # The allocator fails nothing unless told to.
    expect 0 "" nomem 0 "$qvekdump" --source prog.qvs prog.ucd
fi
exit $failed
