#!/usr/bin/env bash
# Runs a test that needs a program, or skips it (exit 77) with a message
# naming the Debian package that brings the program.
#
#   skip_without.sh PROGRAM PACKAGE COMMAND...
program=$1
package=$2
shift 2
command -v "$program" > /dev/null || { echo "$program is not installed (Debian: $package): skipped"; exit 77; }
exec "$@"
