#!/usr/bin/env bash
# Builds the Debian package, unpacks it into a temporary root and runs the
# programs installed there on the example the package ships, as its user would.
set -euo pipefail
cd "$(dirname "$0")/.."

rm -rf build/release/packages
cmake --workflow --preset package
debs=(build/release/packages/*.deb)
[ ${#debs[@]} -eq 1 ] && [ -f "${debs[0]}" ] || { echo "expected one package, found: ${debs[*]}"; exit 1; }
deb=${debs[0]}

root=$(mktemp -d)
trap 'rm -rf "$root"' EXIT
fail() { echo "check_deb: $*"; exit 1; }

[ "$(dpkg-deb --field "$deb" Package)" = qvek ] || fail "the package is not named qvek"
dpkg-deb -x "$deb" "$root"
bin=$root/usr/bin
man=$root/usr/share/man/man1
for f in "$bin/qvek" "$man/qvek.1"; do [ -f "$f" ] || fail "missing ${f#"$root"}"; done
[ "$(readlink "$bin/qveka")" = qvek ] || fail "qveka is not a link to qvek"
[ "$(readlink "$man/qveka.1")" = qvek.1 ] || fail "qveka.1 is not a link to qvek.1"

# The example, run from a copy as a user would (qvek opens includes relative to
# the working directory), through both names of the program.
work=$root/work
cp -a "$root/usr/share/doc/qvek/examples" "$work"
export SOURCE_DATE_EPOCH=1709647629
(cd "$work" && "$bin/qvek" main.qvs main.ucd > qvek.log) || { cat "$work/qvek.log"; fail "qvek failed on the example"; }
head -n 1 "$work/main.ucd" | grep -qx '##' || fail "main.ucd is not a configuration-tool load file"
grep -q ' on 05-Mar-2024 14:07:09$' "$work/main.ucd" || fail "main.ucd does not carry the SOURCE_DATE_EPOCH stamp"
(cd "$work" && "$bin/qveka" -s -i main.qvs main.dbg) || fail "qveka -s -i failed on the example"
grep -qx '# END OF PROGRAM SEGMENT' "$work/main.dbg" || fail "main.dbg is not a debug-hardware load file"

if [ -e "$bin/qvekdump" ]; then
    [ -f "$man/qvekdump.1" ] || fail "missing the manual page of qvekdump"
    "$bin/qvekdump" --version > /dev/null || fail "qvekdump --version failed"
    # The shipped Makefile with the shipped programs; it must give the same bytes.
    make -s -C "$work" QVEK="$bin/qvek" QVEKDUMP="$bin/qvekdump" || fail "make failed on the example"
    cmp -s "$work/out/main.ucd" "$work/main.ucd" || fail "make built another main.ucd"
    [ -s "$work/out/main.ucd.d" ] || fail "make wrote no dependency file"
fi
echo "check_deb: $(basename "$deb") installs and runs"
