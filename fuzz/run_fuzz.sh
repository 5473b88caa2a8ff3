#!/usr/bin/env bash
# Runs one of the fuzzers from the golden cases' files.
#
#   run_fuzz.sh FUZZER REPOSITORY [LIBFUZZER_FLAG...]
#
# The seeds are copied out of the golden cases at every run, so they follow
# the cases: for the assembly fuzzer the sources of tests/golden/*/files/ (and
# the dictionary fuzz/qvek.dict), for the load-file fuzzer the load files that
# tests/golden/*/expect/ and tests/golden_dump/*/files/ hold, for the language
# server's the editor sessions of fuzz/lsp/, and for the program and inspector
# fuzzers, which build a tree of files from an input, each case's files as one
# tree (with fuzz/seeds/) and each load file as the inspector's raw one. New
# inputs go to QVEK_FUZZ_CORPUS when it names a folder (kept, so a later run
# goes on from there), otherwise to a temporary one. A finding is written to
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
trees=0  # the fuzzer builds a tree of files from each input
case $(basename "$fuzzer") in
    *load_file*) seed_folders=("$repo"/tests/golden/*/expect "$repo"/tests/golden_dump/*/files) ;;
    *lsp_text*)
        seed_folders=()  # its inputs are choices, not text: it starts from nothing
        flags=(-max_len=256)
        ;;
    *lsp*) seed_folders=("$repo"/fuzz/lsp) ;;
    *program* | *dump*)
        seed_folders=()
        trees=1
        # Past the 4 KB a stream buffers in these builds, so that its refills are crossed.
        flags=(-dict="$repo/fuzz/qvek.dict" -max_len=16384)
        ;;
    *)
        seed_folders=("$repo"/tests/golden/*/files)
        flags=(-dict="$repo/fuzz/qvek.dict")
        ;;
esac
seeds=$work/seeds
mkdir -p "$seeds"
n=0
if [ ${#seed_folders[@]} -gt 0 ]; then
    while IFS= read -r -d '' f; do
        n=$((n + 1))
        cp "$f" "$seeds/$n.$(basename "$f")"
    done < <(find "${seed_folders[@]}" -type f -print0)
fi
# A tree's seed: the files of a case, the main source first, between the
# separators of fuzz/fuzz_tree.h, then the 16 control bytes that choose the
# command line, each of them the seed's number, so that the seeds spread over
# the choices (two seeds a case).
# Every load file of the cases, as the raw load file of the inspector's tree,
# is one more.
tree_seed() {  # FILE...
    local first=1 f
    for f in "$@"; do
        [ $first = 1 ] || printf '\n@@@@\n'
        first=0
        cat "$f"
    done
    head -c 16 /dev/zero | tr '\0' "\\$(printf '%03o' $((n % 256)))"
}
if [ $trees = 1 ]; then
    for case_dir in "$repo"/tests/golden/*/files "$repo"/tests/golden_dump/*/files "$repo"/fuzz/seeds; do
        mapfile -t files < <(find "$case_dir" -maxdepth 1 -type f \( -iname '*.qvs' -o -iname '*.src' \) | sort)
        mapfile -t others < <(find "$case_dir" -maxdepth 1 -type f ! -iname '*.qvs' ! -iname '*.src' | sort)
        [ ${#files[@]} -gt 0 ] || [ ${#others[@]} -gt 0 ] || continue
        n=$((n + 1))
        tree_seed "${files[@]}" "${others[@]}" > "$seeds/$n.tree"
        n=$((n + 1))
        tree_seed "${files[@]}" "${others[@]}" > "$seeds/$n.tree"
    done
    while IFS= read -r -d '' f; do
        n=$((n + 1))
        tree_seed /dev/null /dev/null /dev/null /dev/null "$f" > "$seeds/$n.load"
    done < <(find "$repo"/tests/golden/*/expect -type f -print0)
fi

corpus=${QVEK_FUZZ_CORPUS:-$work/corpus}
mkdir -p "$corpus"
corpus=$(realpath "$corpus")

# Paths are absolute: the assembly fuzzer changes folder around each assembly.
# Its folder for the source and the target is made under $work, so that it
# goes with the run even when the fuzzer is stopped.
TMPDIR=$work "$fuzzer" "${flags[@]}" -timeout=25 -artifact_prefix="$artifacts/" -print_final_stats=1 "$@" \
    "$corpus" "$seeds"
