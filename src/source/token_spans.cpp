#include "source/token_spans.h"

#include <algorithm>

namespace qvek {

namespace {

// The blanks the reader and the statement split separate tokens with.
bool separates(char c) { return c == ' ' || c == '\t' || c == '\v'; }
// Bytes the reader drops as if absent.
bool dropped(char c) { return c == '\r' || c == '\f'; }

}  // namespace

size_t commentStart(std::string_view line) { return line.find('*'); }

std::vector<Span> tokenSpans(std::string_view line) {
    std::vector<Span> spans;
    const size_t end = std::min(line.size(), commentStart(line));
    for (size_t i = 0; i < end;) {
        if (separates(line[i])) {
            i++;
            continue;
        }
        Span s{i, i};
        bool kept = false;
        while (i < end && !separates(line[i])) kept |= !dropped(line[i++]);
        s.end = i;
        if (kept) spans.push_back(s);
    }
    return spans;
}

}  // namespace qvek
