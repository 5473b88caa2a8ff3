// Where the assembler's tokens lie in a line as typed: the reader drops
// comments, carriage returns and form feeds and splits at blanks, so the n-th
// token it delivers is the n-th run of other bytes before any '*'. Writes nothing.
#pragma once

#include <cstddef>
#include <string_view>
#include <vector>

namespace qvek {

struct Span {
    size_t begin = 0;  // byte offsets in the line
    size_t end = 0;
};

/// The tokens of a line as typed, in the order the reader delivers them.
std::vector<Span> tokenSpans(std::string_view line);
/// The token of a line at an index, as tokenSpans would give it; false when the line has fewer tokens.
bool tokenSpanAt(std::string_view line, size_t index, Span* span);
/// Where the line's comment starts, or npos when it has none.
size_t commentStart(std::string_view line);

}  // namespace qvek
