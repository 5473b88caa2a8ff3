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

namespace {

// Hands each token of a line to take, in order, until take returns false.
template <typename Take>
void walkTokens(std::string_view line, Take take) {
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
        if (kept && !take(s)) return;
    }
}

}  // namespace

std::vector<Span> tokenSpans(std::string_view line) {
    std::vector<Span> spans;
    walkTokens(line, [&](const Span& s) {
        spans.push_back(s);
        return true;
    });
    return spans;
}

bool tokenSpanAt(std::string_view line, size_t index, Span* span) {
    bool found = false;
    walkTokens(line, [&](const Span& s) {
        if (index-- > 0) return true;
        *span = s;
        found = true;
        return false;
    });
    return found;
}

}  // namespace qvek
