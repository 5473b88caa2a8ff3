#!/usr/bin/env bash
# Runs the programs of an installed tree on the example that tree ships, as
# their user would: both names of qvek, qvekdump and the shipped Makefile.
#
#   check_tree.sh PREFIX NAME    (PREFIX holds bin/ and share/; NAME is for messages)
set -euo pipefail
prefix=$1
name=$2
fail() { echo "$name: $*"; exit 1; }

bin=$prefix/bin
man=$prefix/share/man/man1
for f in "$bin/qvek" "$bin/qvekdump" "$bin/qvek-lsp" "$bin/qvekfmt" "$man/qvek.1" "$man/qvekdump.1" "$man/qvek-lsp.1" \
         "$man/qvekfmt.1" \
         "$prefix/share/doc/qvek/README.md" "$prefix/share/doc/qvek/LICENSE" "$prefix/share/doc/qvek/copyright" \
         "$prefix/share/doc/qvek/docs/reliability.md"; do
    [ -f "$f" ] || fail "missing ${f#"$prefix"/}"
done
[ "$(readlink "$bin/qveka")" = qvek ] || fail "qveka is not a link to qvek"
[ "$(readlink "$man/qveka.1")" = qvek.1 ] || fail "qveka.1 is not a link to qvek.1"

# The example, run from a copy (qvek opens includes relative to the working
# directory), through both names of the program.
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cp -a "$prefix/share/doc/qvek/examples/." "$work"
export SOURCE_DATE_EPOCH=1709647629
(cd "$work" && "$bin/qvek" main.qvs main.ucd > qvek.log) || { cat "$work/qvek.log"; fail "qvek failed on the example"; }
head -n 1 "$work/main.ucd" | grep -qx '##' || fail "main.ucd is not a configuration-tool load file"
grep -q ' on 05-Mar-2024 14:07:09$' "$work/main.ucd" || fail "main.ucd does not carry the SOURCE_DATE_EPOCH stamp"
(cd "$work" && "$bin/qveka" -s -i main.qvs main.dbg) || fail "qveka -s -i failed on the example"
grep -qx '# END OF PROGRAM SEGMENT' "$work/main.dbg" || fail "main.dbg is not a debug-hardware load file"

"$bin/qvekdump" --version > /dev/null || fail "qvekdump --version failed"
# The shipped example is formatted already.
(cd "$work" && "$bin/qvekfmt" --check main.qvs ./*.INC) || fail "qvekfmt --check failed on the example"
# The language server answers initialize and goes at exit, 0 after shutdown.
lsp_message() { printf 'Content-Length: %d\r\n\r\n%s' "${#1}" "$1"; }
answer=$( { lsp_message '{"jsonrpc":"2.0","id":1,"method":"initialize","params":{"capabilities":{}}}'
            lsp_message '{"jsonrpc":"2.0","id":2,"method":"shutdown"}'
            lsp_message '{"jsonrpc":"2.0","method":"exit"}'; } | "$bin/qvek-lsp" --root "$work") ||
    fail "qvek-lsp did not exit with 0 after shutdown and exit"
grep -q '"name":"qvek-lsp"' <<< "$answer" || fail "qvek-lsp did not answer initialize"
# The shipped Makefile with the shipped programs; it must give the same bytes.
make -s -C "$work" QVEK="$bin/qvek" QVEKDUMP="$bin/qvekdump" || fail "make failed on the example"
cmp -s "$work/out/main.ucd" "$work/main.ucd" || fail "make built another main.ucd"
[ -s "$work/out/main.ucd.d" ] || fail "make wrote no dependency file"
