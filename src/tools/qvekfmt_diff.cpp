#include "tools/qvekfmt_diff.h"

#include <algorithm>
#include <vector>

#include "format/formatter.h"

namespace qvek::fmt {

namespace {

void addLine(std::string& out, char mark, std::string_view line) {
    out += mark;
    out.append(line);
    if (line.empty() || line.back() != '\n') out += "\n\\ No newline at end of file\n";
}

}  // namespace

std::string unifiedDiff(const std::string& name, std::string_view before, std::string_view after) {
    const std::vector<std::string_view> a = format::linesWithEnds(before);
    const std::vector<std::string_view> b = format::linesWithEnds(after);
    // Formatting keeps every line: a text that differs in its count is shown whole, as one change.
    const size_t count = std::max(a.size(), b.size());
    const auto changed = [&](size_t i) { return a.size() != b.size() || a[i] != b[i]; };
    std::string out;
    size_t i = 0;
    while (i < count) {
        if (!changed(i)) {
            i++;
            continue;
        }
        // A hunk: from kContextLines before this change to kContextLines after the last change
        // that lies within twice that of the one before it.
        const size_t first = i > kContextLines ? i - kContextLines : 0;
        size_t last = i;
        for (size_t j = i + 1; j < count && j <= last + 2 * kContextLines; j++)
            if (changed(j)) last = j;
        const size_t end = std::min(count, last + 1 + kContextLines);
        if (out.empty()) out = "--- " + name + "\t(original)\n+++ " + name + "\t(formatted)\n";
        const size_t oldEnd = std::min(end, a.size());
        const size_t newEnd = std::min(end, b.size());
        const auto range = [](size_t from, size_t to) {
            return std::to_string(to > from ? from + 1 : from) + "," + std::to_string(to > from ? to - from : 0);
        };
        out += "@@ -" + range(first, oldEnd) + " +" + range(first, newEnd) + " @@\n";
        for (size_t j = first; j < end;) {
            if (!changed(j)) {
                addLine(out, ' ', a[j++]);
                continue;
            }
            size_t run = j;
            while (run < end && changed(run)) run++;
            for (size_t k = j; k < std::min(run, a.size()); k++) addLine(out, '-', a[k]);
            for (size_t k = j; k < std::min(run, b.size()); k++) addLine(out, '+', b[k]);
            j = run;
        }
        i = end;
    }
    return out;
}

}  // namespace qvek::fmt
