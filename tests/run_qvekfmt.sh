#!/usr/bin/env bash
# qvekfmt as a user runs it: what each mode prints, its exit status, and the
# files it leaves, for good sources and for every kind of input it refuses.
#
#   run_qvekfmt.sh QVEKFMT
set -u
fmt=$1
work=$(mktemp -d)
trap 'chmod -R u+w "$work"; rm -rf "$work"' EXIT
cd "$work" || exit 1
failures=0

# expect STATUS OUTPUT COMMAND...: the status and standard output of a command.
expect() {
    local status=$1 output=$2 actual
    shift 2
    actual=$("$@" 2> stderr)
    local got=$?
    if [ "$got" != "$status" ] || [ "$actual" != "$output" ]; then
        echo "FAIL: $* -> status $got, output:"; echo "$actual"; cat stderr
        failures=$((failures + 1))
    fi
}
same() {  # FILE FORMAT [ARG...]: the file holds exactly what printf writes
    local file=$1
    shift
    printf "$@" | cmp -s - "$file" || { echo "FAIL: $file holds:"; cat -A "$file"; failures=$((failures + 1)); }
}

printf '        NOP\n' > good.qvs
printf 'nop\n' > bad.qvs
printf 'NOP\0\n' > binary.qvs
mkdir folder
expect 0 "" "$fmt" --check good.qvs
expect 1 "bad.qvs" "$fmt" --check good.qvs bad.qvs
expect 1 "$(printf -- '--- bad.qvs\t(original)\n+++ bad.qvs\t(formatted)\n@@ -1,1 +1,1 @@\n-nop\n+        NOP')" \
    "$fmt" --diff bad.qvs
expect 0 "        NOP" "$fmt" - < bad.qvs
expect 0 "        NOP" "$fmt" < bad.qvs
# Standard input from a socket, as an editor may give it.
expect 0 "        NOP" python3 -c '
import socket, subprocess, sys
ours, theirs = socket.socketpair()
ours.sendall(b"nop\n")
ours.close()
sys.exit(subprocess.run([sys.argv[1]], stdin=theirs).returncode)' "$fmt"
# Refused: every other file is still done, and the status tells the worst.
for refused in missing.qvs folder /dev/zero binary.qvs; do
    expect 2 "" "$fmt" --check "$refused" good.qvs
    grep -q "^qvekfmt: $refused: " stderr || { echo "FAIL: no message for $refused"; failures=$((failures + 1)); }
done
expect 2 "" "$fmt" -i binary.qvs
same binary.qvs 'NOP\0\n'
# A filter gives back what it cannot format.
"$fmt" < binary.qvs > out 2> /dev/null
same out 'NOP\0\n'
# Usage.
expect 2 "" "$fmt" --bogus
expect 2 "" "$fmt" -i
expect 2 "" "$fmt" -i --check bad.qvs
# A line the assembler cannot read is left, with a message, and fails the check.
printf 'nop\nLDA %0130d\n' 1 > long.qvs
expect 1 "long.qvs" "$fmt" --check long.qvs
grep -q "long.qvs:2: left as it is" stderr || { echo "FAIL: no message for line 2"; failures=$((failures + 1)); }
# In place, permissions kept; an unchanged file is not written.
chmod 640 bad.qvs
expect 0 "" "$fmt" -i bad.qvs good.qvs
same bad.qvs '        NOP\n'
[ "$(stat -c %a bad.qvs)" = 640 ] || { echo "FAIL: permissions not kept"; failures=$((failures + 1)); }
expect 0 "" "$fmt" -i long.qvs
same long.qvs '        NOP\nLDA %0130d\n' 1
[ -z "$(ls -A | grep qvekfmt)" ] || { echo "FAIL: a temporary file was left"; failures=$((failures + 1)); }
"$fmt" --help | grep -q '^Usage: qvekfmt' || { echo "FAIL: --help"; failures=$((failures + 1)); }

[ $failures = 0 ] && echo "qvekfmt: all cases pass"
exit $((failures > 0))
