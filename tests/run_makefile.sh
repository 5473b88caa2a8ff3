#!/usr/bin/env bash
# Runs examples/Makefile on a copy of the examples with the built programs:
# a first build, nothing to do after it, a rebuild when an include changes,
# no load file left behind by a failed assembly, whose diagnostics are shown,
# and nothing printed by a clean build.
#
#   run_makefile.sh QVEK QVEKDUMP EXAMPLES_DIR
set -u
qvek=$1
qvekdump=$2
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cp -a "$3/." "$work/"
rm -rf "$work/out"
export SOURCE_DATE_EPOCH=1709647629
failed=0
fail() { echo "$*"; failed=1; }
build() { make -s -C "$work" QVEK="$qvek" QVEKDUMP="$qvekdump" "$@"; }
# Makes what the build wrote older than any change to come.
age() { find "$work/out" -type f -exec touch -d '-10 minutes' {} +; }

build > "$work/.log" 2>&1 || { cat "$work/.log"; fail "first build failed"; }
[ -s "$work/.log" ] && { cat "$work/.log"; fail "a clean build printed something"; }
for f in main.ucd main.dbg; do
    [ -s "$work/out/$f" ] || fail "out/$f not built"
    grep -qx "out/$f: main.qvs COMMON.INC PATTERNS.INC ROUTINES.INC" "$work/out/$f.d" || fail "out/$f.d does not name the includes"
done
# The Makefile must choose the layouts as qvek's own options do.
(cd "$work" && "$qvek" -s main.qvs direct.ucd && "$qvek" -s -i main.qvs direct.dbg)
cmp -s "$work/out/main.ucd" "$work/direct.ucd" || fail "out/main.ucd differs from qvek -p"
cmp -s "$work/out/main.dbg" "$work/direct.dbg" || fail "out/main.dbg differs from qvek -i"

build -q || fail "not up to date after a build"
age
touch "$work/COMMON.INC"
build -q && fail "a changed include does not rebuild"
build > /dev/null 2>&1 || fail "rebuild failed"

# A warning fails the build; make must remove what qvek left.
age
echo "LDA 999" >> "$work/COMMON.INC"
build > "$work/.log" 2>&1 && fail "an assembly with a warning did not fail the build"
line=$(wc -l < "$work/COMMON.INC")
grep -Eq "^COMMON\.INC:$line:[0-9]+: (warning|error): .*\[Q[0-9]{4}" "$work/.log" ||
    { cat "$work/.log"; fail "a failed build does not show the diagnostic at COMMON.INC:$line"; }
[ -e "$work/out/main.ucd" ] && fail "a failed assembly left out/main.ucd"
[ -f "$work/out/main.ucd.d" ] || fail "a failed assembly removed the dependency rule"
exit $failed
