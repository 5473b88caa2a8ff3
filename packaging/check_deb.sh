#!/usr/bin/env bash
# Builds the Debian package, unpacks it into a temporary root and runs the
# programs installed there on the example the package ships.
set -euo pipefail
cd "$(dirname "$0")/.."

rm -rf build/release/packages
cmake --workflow --preset package
debs=(build/release/packages/*.deb)
[ ${#debs[@]} -eq 1 ] && [ -f "${debs[0]}" ] || { echo "expected one package, found: ${debs[*]}"; exit 1; }
deb=${debs[0]}
[ "$(dpkg-deb --field "$deb" Package)" = qvek ] || { echo "check_deb: the package is not named qvek"; exit 1; }

root=$(mktemp -d)
trap 'rm -rf "$root"' EXIT
dpkg-deb -x "$deb" "$root"
bash packaging/check_tree.sh "$root/usr" check_deb
echo "check_deb: $(basename "$deb") installs and runs"
