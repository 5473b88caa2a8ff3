#!/usr/bin/env bash
# Builds the Debian package, unpacks it into a temporary root and runs the
# programs installed there on the example the package ships, and its qvek on
# every end-to-end case.
set -euo pipefail
cd "$(dirname "$0")/.."

rm -rf build/profiled/packages
cmake --workflow --preset package
debs=(build/profiled/packages/*.deb)
[ ${#debs[@]} -eq 1 ] && [ -f "${debs[0]}" ] || { echo "expected one package, found: ${debs[*]}"; exit 1; }
deb=${debs[0]}
[ "$(dpkg-deb --field "$deb" Package)" = qvek ] || { echo "check_deb: the package is not named qvek"; exit 1; }

root=$(mktemp -d)
trap 'rm -rf "$root"' EXIT
dpkg-deb -x "$deb" "$root"
bash packaging/check_tree.sh "$root/usr" check_deb
# The package's qvek is compiled with profile feedback: every end-to-end case holds for it as for the tested build.
for case_dir in tests/golden/*/; do
    bash tests/run_golden.sh "$root/usr/bin/qvek" "$case_dir" > /dev/null || { echo "check_deb: ${case_dir} fails"; exit 1; }
done
echo "check_deb: $(basename "$deb") installs and runs"
