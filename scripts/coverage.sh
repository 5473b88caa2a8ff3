#!/usr/bin/env bash
# Line coverage of src/ by the whole test suite, and the messages it reaches.
#
#   scripts/coverage.sh
#
# Builds the coverage preset (g++ --coverage), runs every test but the memcheck
# repeats of the golden cases, then reads gcov's report of every object file.
# A line counts as reached when any program or test executed it. A message is
# a call of warning(, error( (the assembler), fault(, usageError( or report(
# (the inspector); it counts as reached when any line of its statement was
# executed. Prints both figures, writes each line never executed to
# build/coverage/unreached.txt, and fails when the line coverage is below
# QVEK_COVERAGE_MIN percent (default 95) or a message was never reached,
# unless it is one of the few below that no input can reach.
set -euo pipefail
cd "$(dirname "$0")/.."
repo=$PWD
build=build/coverage
minimum=${QVEK_COVERAGE_MIN:-95}

# Without its npm packages the language server's Node.js client test is
# skipped, and the lines only it reaches would count as never executed.
if [ ! -d tests/lsp/node_modules ]; then
    echo "coverage: run 'npm ci --prefix tests/lsp' first, or the language server's client test is skipped"
    exit 1
fi

cmake --preset coverage > /dev/null
# Counts of an earlier build would not match the new objects.
find "$build" -name '*.gcda' -delete
cmake --build --preset coverage -j "${QVEK_COVERAGE_JOBS:-2}" > /dev/null
find "$build" -name '*.gcda' -delete
ctest --preset coverage > "$build/ctest.log" || {
    grep -E 'tests passed|Failed|\*\*\*' "$build/ctest.log" | tail -20
    echo "coverage: the tests failed, so no figures"
    exit 1
}
tail -n 3 "$build/ctest.log" | grep 'tests passed'

# gcov per object, all reports on standard output, each opening with its Source line.
report=$build/gcov.txt
: > "$report"
while IFS= read -r -d '' gcno; do
    (cd "$(dirname "$gcno")" && gcov -t -o . "$(basename "$gcno" .gcno).gcda" 2> /dev/null) >> "$report" || true
done < <(find "$build" -name '*.gcno' -print0)

# Messages that guard against what the platform never delivers: file and a
# piece of the message text.
unreachable=(
    # A name the system can open is at most 4095 bytes long, so its target name fits.
    "src/tools/dump_run.cpp:is too long to make a target name of"
)

# The message calls: file, first and last line of each statement.
calls=$build/messages.txt
for f in $(cd "$repo" && find src -name '*.cpp' -o -name '*.h' | sort); do
    awk -v file="$f" '
        start == 0 && /(^|[^A-Za-z_])(warning|error|fault|usageError|report)\(/ &&
            !/^[[:space:]]*(int|void|static)[[:space:]]/ && !/^[[:space:]]*\/\// { start = FNR }
        start != 0 { text = text $0 }
        start != 0 && /;/ { print file, start, FNR, text; start = 0; text = "" }' "$repo/$f"
done > "$calls"
printf '%s\n' "${unreachable[@]}" > "$build/unreachable.txt"

awk -v src="$repo/" -v minimum="$minimum" -v unreached="$build/unreached.txt" -v calls="$calls" -v exempt="$build/unreachable.txt" '
    /^ *-: *0:Source:/ {
        file = substr($0, index($0, "Source:") + 7)
        if (index(file, src) == 1) file = substr(file, length(src) + 1)
        keep = index(file, "src/") == 1
        next
    }
    !keep || !/^ *[-#=0-9*]+: *[0-9]+:/ { next }
    {
        split($0, part, ":")
        count = part[1]; gsub(/[ *]/, "", count)
        line = part[2] + 0
        if (count == "-") next
        key = file SUBSEP line
        if (!(key in executable)) {
            executable[key] = 1
            lines[file]++
            text[key] = substr($0, length(part[1]) + length(part[2]) + 3)
        }
        if (count !~ /^(#####|=====)$/ && count + 0 > 0 && !(key in hit)) { hit[key] = 1; hits[file]++ }
    }
    END {
        total = 0; reached = 0
        for (f in lines) { total += lines[f]; reached += hits[f] }
        printf "Line coverage of src/: %d of %d lines, %.1f %%\n", reached, total, 100 * reached / total
        n = 0
        for (f in lines) names[++n] = f
        for (i = 2; i <= n; i++) for (j = i; j > 1 && names[j - 1] > names[j]; j--) {
            t = names[j]; names[j] = names[j - 1]; names[j - 1] = t
        }
        for (i = 1; i <= n; i++) {
            f = names[i]
            printf "  %-32s %4d of %4d  %5.1f %%\n", f, hits[f], lines[f], 100 * hits[f] / lines[f]
        }
        printf "" > unreached
        for (i = 1; i <= n; i++)
            for (key in executable) {
                split(key, k, SUBSEP)
                if (k[1] == names[i] && !(key in hit)) order[names[i], k[2] + 0] = text[key]
            }
        for (i = 1; i <= n; i++)
            for (l = 1; l <= 2000; l++)
                if ((names[i], l) in order) printf "%s:%d:%s\n", names[i], l, order[names[i], l] > unreached

        excused = 0
        while ((getline entry < exempt) > 0) if (entry != "") ex[++excused] = entry
        messages = 0; missed = 0; unreachable = 0
        while ((getline entry < calls) > 0) {
            split(entry, c, " ")
            messages++
            found = 0
            for (l = c[2]; l <= c[3]; l++) if ((c[1] SUBSEP l) in hit) found = 1
            if (found) continue
            for (i = 1; i <= excused; i++) {
                colon = index(ex[i], ":")
                if (substr(ex[i], 1, colon - 1) == c[1] && index(entry, substr(ex[i], colon + 1)) > 0) found = 1
            }
            if (found) { unreachable++; never[unreachable] = c[1] ":" c[2] }
            else { missed++; miss[missed] = c[1] ":" c[2] }
        }
        printf "Messages reached: %d of %d", messages - missed - unreachable, messages
        if (unreachable > 0) printf ", and %d that no input can reach", unreachable
        printf "\n"
        for (i = 1; i <= unreachable; i++) printf "  unreachable: %s\n", never[i]
        for (i = 1; i <= missed; i++) printf "  not reached: %s\n", miss[i]
        failed = 0
        if (100 * reached / total < minimum) { printf "coverage: below %s %%\n", minimum; failed = 1 }
        if (missed > 0) { print "coverage: messages never reached"; failed = 1 }
        exit failed
    }' "$report"
