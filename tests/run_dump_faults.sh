#!/usr/bin/env bash
# The inspector's failures that a golden case cannot set up: a load file that
# cannot be read twice, a source with too many includes, and (with the
# preloaded allocator FAIL_ALLOC) no memory for each of its large records and
# for the assembler's state; and the address lookup answering a pipe line by line.
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

# Whatever qvek appends is appended content, even a first line that begins like a row.
for tail in '0x12 hello' '0x0000 0x0000 0x00' '0x0001  0x1002  0x1234'; do
    printf '%s\n' "$tail" > TAIL.TXT
    for layout in -p -i; do
        "$qvek" -s "$layout" -aTAIL.TXT prog.qvs tail.ucd
        expect 0 "" "$qvekdump" --convert configtool tail.ucd -o converted.ucd
        [ "$(tail -n 1 converted.ucd)" = "$tail" ] || { echo "FAILED: $tail is not appended in $layout"; failed=1; }
    done
    printf 'PAT 7\n' > patterns.qvs
    "$qvek" -s -i -aTAIL.TXT patterns.qvs tail.ucd
    expect 0 "" "$qvekdump" --convert debughw tail.ucd -o converted.ucd
    cmp -s tail.ucd converted.ucd || { echo "FAILED: $tail behind a pattern segment is not appended"; failed=1; }
done

# Source text gives the same load file even where the last instruction's opcode was overwritten.
export SOURCE_DATE_EPOCH=0
for program in 'LDA H71\nORG PGM 0\nNOP' 'ORG PGM 28\nLDA H71\nORG PGM 28\nNOP' 'ORG PGM 4090\nJCB 1 2\nORG PGM 4090\nRET'; do
    printf "$program\n" > over.qvs
    for layout in -p -i; do
        "$qvek" -s "$layout" over.qvs over.ucd
        "$qvekdump" --asm over.ucd -o again.qvs
        "$qvek" -s "$layout" again.qvs again.ucd
        cmp -s <(sed 1,5d over.ucd) <(sed 1,5d again.ucd) ||
            { echo "FAILED: the source text of $program ($layout) gives another load file"; failed=1; }
    done
done
unset SOURCE_DATE_EPOCH

# An endless line is read no further than a line can be long.
expect 1 $'\nERROR:- Line longer than 4352 characters on line 001 in file /dev/zero' timeout 30 "$qvekdump" /dev/zero

# One include more than a make rule lists.
: > many.qvs
for i in $(seq 1 1025); do
    : > "F$i.INC"
    echo "INC F$i.INC" >> many.qvs
done
expect 1 $'\nERROR:- Source file many.qvs includes more than 1024 files. No rule written !' \
    "$qvekdump" --make-deps many.qvs
expect 0 "" "$qvekdump" --make-deps F1.INC

# The output is never a file the run reads, under any name: refused before anything is written.
mkdir reads && cd reads || exit 1
printf 'INC COMMON.INC\nINC PATTERNS.INC\n#L LPP #P\nJMP #L\n' > main.qvs
printf 'DEF #ONE 1\n' > COMMON.INC
printf 'PAT #P H1234\n' > PATTERNS.INC
"$qvek" -s main.qvs m.ucd
ln -s COMMON.INC link.inc
ln PATTERNS.INC hard.inc
cp -a . ../reads.orig
read_by() { expect 1 $'\nERROR:- Output file '"$1"' is the file '"$2"$', which this run reads. Nothing written !' "${@:3}"; }
read_by main.qvs main.qvs "$qvekdump" --source main.qvs m.ucd -o main.qvs
read_by hard.inc PATTERNS.INC "$qvekdump" --source main.qvs m.ucd -o hard.inc
read_by PATTERNS.INC PATTERNS.INC "$qvekdump" --asm -s main.qvs m.ucd -o PATTERNS.INC
read_by hard.inc PATTERNS.INC "$qvekdump" --asm -s main.qvs m.ucd -o hard.inc
read_by COMMON.INC COMMON.INC "$qvekdump" --make-deps main.qvs -o COMMON.INC
read_by link.inc COMMON.INC "$qvekdump" --make-deps main.qvs -o link.inc
read_by hard.inc PATTERNS.INC "$qvekdump" --addr2line main.qvs 0 -o hard.inc
read_by link.inc COMMON.INC "$qvekdump" --svg main.qvs -o link.inc
read_by link.inc COMMON.INC "$qvekdump" --listing main.qvs -o link.inc
read_by hard.inc PATTERNS.INC "$qvekdump" --symbols=json main.qvs -o hard.inc
expect 1 $'\nERROR:- Output file m.ucd is the file being read. Nothing written !' "$qvekdump" --svg m.ucd -o m.ucd
expect 1 $'\nERROR:- Output file ./main.qvs is the file being read. Nothing written !' \
    "$qvekdump" --make-deps main.qvs -o ./main.qvs
for f in main.qvs COMMON.INC PATTERNS.INC m.ucd; do
    cmp -s "$f" "../reads.orig/$f" || { echo "FAILED: $f, which the inspector read, was changed"; failed=1; }
done
expect 0 "" "$qvekdump" --asm -s main.qvs m.ucd -o new.qvs
cd .. || exit 1

# Make reads back every name of a rule as the file it is: the rule's target is
# built once, is then up to date, and is built again when an include changes.
mkdir rules && cd rules || exit 1
source_name='my src #1: $x %y\ \#\:\.qvs'
target_name='out %1: #$ \%\ \.ucd'
includes=('A#B.INC' 'A:B.INC' 'A$B.INC' 'A%B.INC' 'A\B.INC' 'A(B.INC' 'A\#B.INC' 'A\:B.INC' 'A\%B.INC')
for name in "${includes[@]}"; do
    echo "INC $name" >> "$source_name"
    printf 'NOP\n' > "$name"
done
expect 0 "" "$qvekdump" --make-deps --target="$target_name" "$source_name" -o rule.d
printf 'include rule.d\n%%.ucd:\n\t@echo built\n' > Makefile
if command -v make > /dev/null; then
    build() { make -s -r "$target_name" 2>&1; }
    # Times in the past, one second apart, so that make sees every change.
    stamp=1000000000
    touch -d @$stamp "$source_name" "${includes[@]}"
    touch -d @$((stamp + 1)) "$target_name"
    [ -z "$(build)" ] || { echo "FAILED: make rebuilt a target that is up to date"; failed=1; }
    for name in "$source_name" "${includes[@]}"; do
        stamp=$((stamp + 2))
        touch -d @$stamp "$name"
        [ "$(build)" = built ] || { echo "FAILED: make did not see $name change"; failed=1; }
        touch -d @$((stamp + 1)) "$target_name"
    done
    rm "${includes[0]}"
    [ "$(build)" = built ] || { echo "FAILED: make did not go on without ${includes[0]}"; failed=1; }
fi
# A name make would read otherwise is refused, never written.
for name in 'A;B.INC' 'A=B.INC' 'A|B.INC' '~A.INC'; do
    printf 'INC %s\n' "$name" > bad.qvs
    printf 'NOP\n' > "$name"
    expect 1 $'\nERROR:- File name '"$name"' cannot be written in a make rule. No rule written !' \
        "$qvekdump" --make-deps bad.qvs
done
expect 2 $'\nERROR:- Option --target needs a file name. Try qvekdump --help' "$qvekdump" --make-deps --target= bad.qvs
expect 2 $'\nERROR:- The target of --target is longer than 4096 characters. Try qvekdump --help' \
    "$qvekdump" --make-deps --target="$(head -c 10000 /dev/zero | tr '\0' t)" bad.qvs
expect 2 $'\nERROR:- Target a;b cannot be written in a make rule. Try qvekdump --help' \
    "$qvekdump" --make-deps --target='a;b' bad.qvs
cd .. || exit 1

# The lookup answers each line of a pipe before the next one is written, as
# it must behind a simulation that is still running.
coproc lookup { "$qvekdump" --addr2line prog.qvs; }
# Bash unsets lookup_PID once the coprocess has ended, which it may before the wait.
lookup_pid=$lookup_PID
answers=""
for line in "# 10 ns: pc=0x0" "no address" "3"; do
    echo "$line" >&"${lookup[1]}"
    IFS= read -r -t 10 answer <&"${lookup[0]}" || answer="(no answer)"
    answers+="$answer"$'\n'
done
eval "exec ${lookup[1]}>&-"
wait "$lookup_pid"
status=$?
expected=$'0x000 prog.qvs:2 #L LDA H05\n?? no address in this line\n0x003 prog.qvs:3 #L+3 JMP #L\n'
if [ "$answers" != "$expected" ] || [ $status != 0 ]; then
    echo "FAILED: --addr2line in a pipe, status $status, answers:"
    echo "$answers"
    failed=1
fi
# Standard input that cannot be read is no end of the log.
expect 1 $'\nERROR:- Could not read standard input: Is a directory' "$qvekdump" --addr2line prog.qvs < .

if [ -n "$fail_alloc" ]; then
    nomem() { QVEK_FAIL_LARGE_ALLOC=$1 LD_PRELOAD=$fail_alloc "${@:2}"; }
    # The first large record is the load file's image, the second the state that assembles.
    expect 1 $'\nERROR:- Out of memory reading prog.ucd !' nomem 1 "$qvekdump" prog.ucd
    expect 1 $'\nERROR:- Out of memory for the source prog.qvs !' nomem 2 "$qvekdump" --source prog.qvs prog.ucd
    expect 1 $'\nERROR:- Out of memory converting prog.ucd !' nomem 2 "$qvekdump" --convert debughw prog.ucd
    expect 1 $'\nERROR:- Out of memory for the source prog.qvs !' nomem 1 "$qvekdump" --make-deps prog.qvs
    expect 1 $'\nERROR:- Out of memory for the source prog.qvs !' nomem 1 "$qvekdump" --addr2line prog.qvs 0
    # The listing's second assembly, and the JSON map's, come after the first: no output is left behind.
    expect 1 $'\nERROR:- Out of memory for the source prog.qvs !' nomem 1 "$qvekdump" --listing prog.qvs
    expect 1 $'\nERROR:- Out of memory listing the source prog.qvs !' nomem 2 "$qvekdump" --listing prog.qvs -o l.lst
    expect 1 $'\nERROR:- Source file prog.qvs could not be assembled a second time. No map written !' \
        nomem 2 "$qvekdump" --symbols=json prog.qvs -o map.json
    [ -e l.lst ] || [ -e map.json ] && { echo "FAILED: a listing or map left behind without memory"; failed=1; }
    # The allocator fails nothing unless told to.
    expect 0 "" nomem 0 "$qvekdump" --source prog.qvs prog.ucd
    # The assembler's state is its one large record; a static assembler cannot be preloaded.
    if ldd "$qvek" > /dev/null 2>&1; then
        expect 255 $'\nERROR:- Out of memory for the assembler\'s tables !' nomem 1 "$qvek" prog.qvs nomem.ucd
    fi
fi
exit $failed
