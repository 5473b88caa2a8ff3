#!/usr/bin/env bash
# Runs one of the fuzzers from the golden cases' files.
#
#   run_fuzz.sh FUZZER REPOSITORY [LIBFUZZER_FLAG...]
#
# The seeds are copied out of the golden cases at every run, so they follow
# the cases: for the assembly fuzzer the sources of tests/golden/*/files/ (and
# the dictionary fuzz/qvek.dict), for the load-file fuzzer the load files that
# tests/golden/*/expect/ and tests/golden_dump/*/files/ hold, for the language
# server's the editor sessions of fuzz/lsp/. New inputs go to
# QVEK_FUZZ_CORPUS when it names a folder (kept, so a later run goes on from
# there), otherwise to a temporary one. A finding is written to
# QVEK_FUZZ_ARTIFACTS (default: the current folder) as crash-*, leak-*,
# timeout-* or oom-*; replay it with `FUZZER FILE`.
set -euo pipefail
fuzzer=$1
repo=$2
shift 2

artifacts=$(realpath "${QVEK_FUZZ_ARTIFACTS:-.}")
# In memory where there is such a place: every input is written to a file.
work=$(mktemp -d -p /dev/shm 2>/dev/null || mktemp -d)
trap 'rm -rf "$work"' EXIT

flags=()
case $(basename "$fuzzer") in
    *load_file*) seed_folders=("$repo"/tests/golden/*/expect "$repo"/tests/golden_dump/*/files) ;;
    *lsp*) seed_folders=("$repo"/fuzz/lsp) ;;
    *)
        seed_folders=("$repo"/tests/golden/*/files)
        flags=(-dict="$repo/fuzz/qvek.dict")
        ;;
esac
seeds=$work/seeds
mkdir -p "$seeds"
n=0
while IFS= read -r -d '' f; do
    n=$((n + 1))
    cp "$f" "$seeds/$n.$(basename "$f")"
done < <(find "${seed_folders[@]}" -type f -print0)

corpus=${QVEK_FUZZ_CORPUS:-$work/corpus}
mkdir -p "$corpus"
corpus=$(realpath "$corpus")

# Paths are absolute: the assembly fuzzer changes folder around each assembly.
# Its folder for the source and the target is made under $work, so that it
# goes with the run even when the fuzzer is stopped.
TMPDIR=$work "$fuzzer" "${flags[@]}" -timeout=25 -artifact_prefix="$artifacts/" -print_final_stats=1 "$@" \
    "$corpus" "$seeds"
