#!/usr/bin/env bash
# The README's first command, then `cmake --install` into a temporary prefix:
# everything the install installs must have been built by that command.
set -euo pipefail
cd "$(dirname "$0")/.."

cmake --workflow --preset example
prefix=$(mktemp -d)
trap 'rm -rf "$prefix"' EXIT
cmake --install build/release --prefix "$prefix" > /dev/null
bash packaging/check_tree.sh "$prefix" check_install
echo "check_install: cmake --install after the example build installs every program"
