#!/usr/bin/env bash
# End-to-end cases that a golden folder cannot hold: links, devices, pipes,
# and inputs made at run time because they are large or random. Each case
# checks the exit status, the message, the closing report and what became of
# every file involved; a crash, a sanitizer report or a hang fails it.
#
#   run_faults.sh QVEK CASE QVEKDUMP
set -u
qvek=$1
case_name=$2
qvekdump=$3
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work" || exit 1

limit=30  # seconds a run may take
failed=0
fail() {
    echo "$case_name: $*"
    failed=1
}

# Runs the assembler with a time limit: its output goes to .out, its status to $status.
run() {
    timeout "$limit" "$qvek" "$@" > .out 2>&1
    status=$?
    last_run="qvek $*"
}
# The run ended with this status (124 would be the time limit, 134 or 139 a crash).
expect_status() {
    [ "$status" = "$1" ] || fail "$last_run: exit status $status, expected $1"
}
# This line, a whole message without its leading line break, was printed.
expect_line() {
    grep -qxF -- "$1" .out || { fail "$last_run: no line '$1'"; sed 's/^/    /' .out | head -20; }
}
expect_report() {
    expect_line " $1 Warning   $2 Errors -- Done !"
}
expect_empty() {
    [ -f "$1" ] && [ ! -s "$1" ] || fail "$last_run: $1 is not an empty file"
}
# A load file of the default layout.
expect_load_file() {
    [ "$(head -n 1 "$1" 2>/dev/null)" = "##" ] || fail "$last_run: $1 is no load file"
}
# n copies of one character, without a line feed.
repeat() {
    head -c "$2" /dev/zero | tr '\0' "$1"
}

case_same_file_links() {
    printf 'NOP * must survive\n' > a.qvs
    cp a.qvs original
    ln a.qvs hard.ucd
    ln -s a.qvs soft.ucd
    mkdir sub
    ln -s ../a.qvs sub/up.ucd
    for target in hard.ucd soft.ucd sub/up.ucd ./a.qvs "$PWD/a.qvs" sub/../a.qvs; do
        run a.qvs "$target"
        expect_status 255
        expect_line "ERROR:- Target file $target is the source file a.qvs. Nothing written !"
        expect_report 0 1
        cmp -s a.qvs original || fail "$last_run: the source changed"
    done
    # The link as the source, the file itself as the target.
    run -i soft.ucd a.qvs
    expect_status 255
    expect_line "ERROR:- Target file a.qvs is the source file soft.ucd. Nothing written !"
    cmp -s a.qvs original || fail "$last_run: the source changed"
}

case_target_links() {
    printf 'NOP\nINC LINK.INC\n' > s.qvs
    ln -s OUT.UCD LINK.INC
    run s.qvs OUT.UCD
    expect_status 255
    expect_line "ERROR:- Include file LINK.INC on line 002 in file s.qvs is the target file !"
    expect_report 0 1
    expect_empty OUT.UCD

    printf 'NOP\nINC HARD.INC\n' > h.qvs
    printf "##\nRET\n" > OUT2.UCD
    ln OUT2.UCD HARD.INC
    run h.qvs OUT2.UCD
    expect_status 255
    expect_line "ERROR:- Include file HARD.INC on line 002 in file h.qvs is the target file !"

    # The append file under another name: the load file is written once, not copied onto itself.
    printf 'LDA 5\n' > t.qvs
    run t.qvs alone.ucd
    expect_status 0
    : > OUT3.UCD
    ln OUT3.UCD TAIL.UCD
    run -aTAIL.UCD t.qvs OUT3.UCD
    expect_status 255
    expect_line "WARNING:- Append file TAIL.UCD is the target file. No file appended !"
    expect_report 1 0
    [ "$(wc -c < OUT3.UCD)" = "$(wc -c < alone.ucd)" ] || fail "$last_run: OUT3.UCD is not just the load file"
}

# Only an existing file with text that is no load file is refused as the
# target: a load file of either layout, with a file appended or not, an empty
# file and a named pipe are written as before, and the pipe waits for a reader.
case_existing_targets() {
    printf 'NOP\n' > a.qvs
    printf 'tail\n' > TAIL
    run -aTAIL a.qvs tail.ucd
    run -i a.qvs hw.dbg
    : > empty.ucd
    for target in tail.ucd hw.dbg empty.ucd; do
        run a.qvs "$target"
        expect_status 0
        expect_load_file "$target"
    done
    printf 'x\n' > other.txt
    run -s a.qvs other.txt
    expect_status 255
    [ -s .out ] && fail "$last_run: a silent run printed something"
    [ "$(cat other.txt)" = x ] || fail "$last_run: other.txt changed"
    mkfifo OUT.PIPE
    timeout "$limit" "$qvek" a.qvs OUT.PIPE > .out &
    sleep 1
    kill -0 $! 2> /dev/null || fail "qvek a.qvs OUT.PIPE: did not wait for a reader"
    cat OUT.PIPE > from_pipe
    wait $!
    status=$?
    last_run="qvek a.qvs OUT.PIPE"
    expect_status 0
    expect_load_file from_pipe
}

case_dev_full() {
    printf 'LDA 5\nRET\n' > small.qvs
    for options in -p -i -d; do
        run "$options" small.qvs /dev/full
        expect_status 255
        expect_line "ERROR:- Could not write target file /dev/full completely !"
        expect_report 0 1
    done
    run -s small.qvs /dev/full
    expect_status 255
    [ -s .out ] && fail "$last_run: a silent run printed something"
    # Larger than the stream's buffer: writes fail before the closing does; one error all the same.
    printf 'ORG PGM 4000\nNOP\n' > big.qvs
    run -i big.qvs /dev/full
    expect_status 255
    expect_line "ERROR:- Could not write target file /dev/full completely !"
    expect_report 0 1
    repeat x 100000 > TAIL.UCD
    run -aTAIL.UCD small.qvs /dev/full
    expect_status 255
    expect_report 0 1
    # An append file without end stops at the first write that fails, instead of copying forever.
    run -a/dev/zero small.qvs /dev/full
    expect_status 255
    expect_line "ERROR:- Could not write target file /dev/full completely !"
    expect_report 0 1
}

case_devices() {
    run /dev/null null.ucd
    expect_status 0
    expect_load_file null.ucd
    # Devices and sockets need not read the same way twice (a terminal waits, /dev/zero never ends):
    # refused before they are opened, and the target is never created.
    perl -MIO::Socket::UNIX -e 'IO::Socket::UNIX->new(Local => "SOCK.QVS", Listen => 1) or die' ||
        fail "no socket could be made"
    for source in /dev/zero /dev/ptmx SOCK.QVS; do
        kind="a device"
        [ "$source" = SOCK.QVS ] && kind="a socket"
        run "$source" dev.ucd
        expect_status 255
        expect_line "ERROR:- Source file $source is $kind, which cannot be read on both passes !"
        expect_report 0 1
        [ -e dev.ucd ] && fail "$last_run: the target was created"
    done
    ln -s /dev/ptmx PTY.INC
    printf 'NOP\nINC PTY.INC\n' > pty.qvs
    run pty.qvs pty.ucd
    expect_status 255
    expect_line "ERROR:- Include file PTY.INC on line 002 in file pty.qvs is a device, which cannot be read on both passes !"
    expect_empty pty.ucd
    # Standard input redirected from a file reads the same on both passes.
    printf '#L NOP\nJMP #L\n' > in.qvs
    run /dev/stdin stdin.ucd < in.qvs
    expect_status 0
    grep -qF '0x0090 0x0000 ' stdin.ucd || fail "$last_run: the JMP is not in stdin.ucd"
}

# Closed standard streams are opened on /dev/null, so no file the programs open takes their place.
case_closed_streams() {
    for i in $(seq 200); do printf 'PAT H%d\nLDA %d\n' "$i" "$i"; done > many.qvs
    export SOURCE_DATE_EPOCH=0
    run many.qvs reference.ucd
    expect_status 0
    (timeout 30 "$qvek" -d many.qvs closed.ucd <&- >&- 2>&-)
    status=$?
    last_run="qvek -d many.qvs closed.ucd <&- >&- 2>&-"
    expect_status 0
    cmp -s closed.ucd reference.ucd || fail "$last_run: the load file differs from one written with open streams"
    # The inspector's listing goes to a closed standard output as it would to /dev/null.
    (timeout 30 "$qvekdump" reference.ucd <&- >&-) 2> /dev/null
    [ $? = 0 ] || fail "qvekdump reference.ucd <&- >&-: the listing failed"
    # A standard output that takes nothing is a failure, said on standard error.
    timeout 30 "$qvek" -d many.qvs full.ucd > /dev/full 2> .out
    status=$?
    last_run="qvek -d many.qvs full.ucd > /dev/full"
    expect_status 255
    expect_line "ERROR:- Could not write standard output completely !"
    cmp -s full.ucd reference.ucd || fail "$last_run: the load file differs"
    timeout 30 "$qvek" -s many.qvs quiet.ucd > /dev/full 2> .out
    status=$?
    last_run="qvek -s many.qvs quiet.ucd > /dev/full"
    expect_status 0
}

# No name may break the line that holds it: the load file's header, or a make rule.
case_line_break_names() {
    printf 'NOP\n' > ok.qvs
    for name in $'a\nb.qvs' $'c\rd.qvs'; do
        printf 'NOP\n' > "$name"
        run "$name" lb.ucd
        expect_status 255
        grep -qF "ERROR:- Source file name ${name%%[$'\n\r']*}" .out || fail "$last_run: no message"
        expect_report 0 1
        [ -e lb.ucd ] && fail "$last_run: the target was created"
        timeout 30 "$qvekdump" --make-deps "$name" > .out 2>&1
        [ $? = 1 ] || fail "qvekdump --make-deps of a name with a line break did not fail"
        timeout 30 "$qvekdump" --make-deps --target="$name" ok.qvs > .out 2>&1
        [ $? = 2 ] || fail "qvekdump --make-deps --target with a line break is no usage mistake"
    done
}

case_pipes() {
    mkfifo PIPE.QVS
    run PIPE.QVS out.ucd
    expect_status 255
    expect_line "ERROR:- Source file PIPE.QVS is a pipe, which cannot be read on both passes !"
    expect_report 0 1
    [ -e out.ucd ] && fail "$last_run: the target was created"

    printf 'NOP\nINC PIPE.QVS\n' > i.qvs
    run i.qvs i.ucd
    expect_status 255
    expect_line "ERROR:- Include file PIPE.QVS on line 002 in file i.qvs is a pipe, which cannot be read on both passes !"
    expect_empty i.ucd

    # Input through a pipe would read as an empty file on pass 2.
    run <(printf 'NOP\n') p.ucd
    expect_status 255
    grep -qE '^ERROR:- Source file /(dev|proc/self)/fd/[0-9]+ is a pipe, which cannot be read on both passes !$' .out ||
        fail "$last_run: no pipe message"
    run /dev/stdin p.ucd < <(printf 'NOP\n')
    expect_status 255

    # The inspector names addresses from both passes, and refuses the pipe too.
    printf 'NOP\n' > ok.qvs
    run -s ok.qvs ok.ucd
    timeout 30 "$qvekdump" --source PIPE.QVS ok.ucd > .out 2>&1
    status=$?
    last_run="qvekdump --source PIPE.QVS ok.ucd"
    expect_status 1
    expect_line "ERROR:- Cannot open source file PIPE.QVS"
}

case_long_line() {
    { printf 'NOP\n'; repeat A 100000; printf '\nRET\n'; } > l.qvs
    run l.qvs l.ucd
    expect_status 255
    expect_line "ERROR:- Line 002 in file l.qvs is longer than 120 characters. Assembly stopped."
    expect_report 0 1
    expect_empty l.ucd
    # Of short tokens: the limit is on the normalised line.
    { for _ in $(seq 25000); do printf 'NOP '; done; printf '\n'; } > t.qvs
    run t.qvs t.ucd
    expect_status 255
    expect_line "ERROR:- Line 001 in file t.qvs is longer than 120 characters. Assembly stopped."
    # Trailing blanks and a long comment are not part of the line.
    { printf 'NOP'; repeat ' ' 100000; printf '\nRET *'; repeat C 100000; printf '\n'; } > b.qvs
    run -d b.qvs b.ucd
    expect_status 0
    expect_line "001 NOP"
    expect_line "002 RET"
}

case_megabyte_without_line_feed() {
    repeat A 1048576 > a.qvs
    run a.qvs a.ucd
    expect_status 255
    expect_line "ERROR:- Line 001 in file a.qvs is longer than 120 characters. Assembly stopped."
    expect_report 0 1
    expect_empty a.ucd
    # Read to its very end: the statement before a megabyte of comment or blanks is assembled.
    { printf 'LDA 5 *'; repeat B 1048576; } > c.qvs
    run -d c.qvs c.ucd
    expect_status 0
    expect_line "001 LDA 5"
    { printf 'NOP\nRET'; repeat ' ' 1048576; } > b.qvs
    run -d b.qvs b.ucd
    expect_status 0
    expect_line "002 RET"
}

# 2^31 line feeds: the line past the largest count is refused, never counted
# into the negative. Two gigabytes and about a minute: labelled slow.
case_line_count() {
    local big
    big=$(mktemp -p /dev/shm 2> /dev/null || mktemp)
    trap 'rm -rf "$work" "$big"' EXIT
    head -c 2147483648 /dev/zero | tr '\0' '\n' > "$big"
    limit=900
    run "$big" lc.ucd
    expect_status 255
    expect_line "ERROR:- Line 2147483647 in file $big is the last a line number can count, and the file goes on. Assembly stopped."
    expect_report 0 1
    expect_empty lc.ucd
}

# Every outcome of random bytes is an orderly end: exit status 255, the closing
# report, and a target that is empty or a whole load file.
check_garbage_run() {
    expect_status 255
    grep -qE '^ [0-9]+ Warning   [0-9]+ Errors -- Done !$' .out || fail "$last_run: no closing report"
    [ ! -s "$1" ] || [ "$(head -c 1 "$1")" = "#" ] || fail "$last_run: $1 is neither empty nor a load file"
}

case_binary_garbage() {
    for seed in 1 2 3 4 5 6 7 8; do
        # Raw bytes, and lines of 0 to 60 bytes without zero bytes, to get past the first line.
        perl -e "srand($seed); print map { chr(int(rand(256))) } 1..65536" > raw.qvs
        perl -e "srand($seed); for (1..4000) { my \$n = int(rand(61)); my \$l = '';
                 \$l .= chr(1 + int(rand(255))) for 1..\$n; \$l =~ tr/\\n//d; print \$l, \"\\n\" }" > lines.qvs
        run raw.qvs raw.ucd
        check_garbage_run raw.ucd
        run -d -i lines.qvs lines.ucd
        check_garbage_run lines.ucd
        printf 'NOP\nINC LINES.INC\nRET\n' > inc.qvs
        cp lines.qvs LINES.INC
        run inc.qvs inc.ucd
        check_garbage_run inc.ucd
    done
    # As the append file, garbage is copied byte for byte.
    printf 'NOP\n' > ok.qvs
    run -araw.qvs ok.qvs ok.ucd
    expect_status 0
    tail -c 65536 ok.ucd | cmp -s - raw.qvs || fail "$last_run: the appended bytes differ"
}

case_long_names() {
    # 300 characters each: four folders of 60 and a name of 56.
    local part dir source target append missing
    part=$(repeat d 60)
    dir="$part/$part/$part/$part"
    mkdir -p "$dir"
    source="$dir/$(repeat s 52).qvs"
    target="$dir/$(repeat t 52).ucd"
    append="$dir/$(repeat a 52).ucd"
    missing="$dir/$(repeat m 52).qvs"
    [ ${#source} = 300 ] || fail "the source name has ${#source} characters"
    printf 'NOP\n' > "$source"
    printf 'TAIL\n' > "$append"
    run "-a$append" "$source" "$target"
    expect_status 0
    expect_line "Appending file $append to $target"
    grep -qF "## This file generated from source file $source on " "$target" ||
        fail "$last_run: the header does not name the source whole"
    [ "$(tail -n 1 "$target")" = TAIL ] || fail "$last_run: the append file is not behind the load file"
    run -i "$source" "$target"
    expect_status 0
    grep -qF "# This file generated from $source on " "$target" || fail "$last_run: the header does not name the source"
    run "$missing" "$target"
    expect_status 255
    expect_line "ERROR:- Cannot open source file $missing"
    run "-a$missing" "$source" "$target"
    expect_status 255
    expect_line "WARNING:- Could not open append file $missing !"
    # Beyond the platform's 4096: refused, never cut to a name that might exist.
    local huge
    huge=$(repeat h 5000)
    run "$huge" "$target"
    expect_status 255
    expect_line "ERROR:- Cannot open source file $huge"
    run "-a$huge" "$source" "$target"
    expect_status 255
    expect_line "WARNING:- Append file name is longer than 4096 characters. No file appended !"
    expect_report 1 0
}

if ! declare -F "case_$case_name" > /dev/null; then
    echo "no case $case_name"
    exit 2
fi
"case_$case_name"
exit $failed
