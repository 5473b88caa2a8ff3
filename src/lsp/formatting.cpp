#include "lsp/formatting.h"

#include <string_view>
#include <vector>

#include "format/formatter.h"

namespace qvek::lsp {

namespace {

json position(uint32_t line, uint32_t character) { return {{"line", line}, {"character", character}}; }

}  // namespace

json formattingEdits(const Text& text, uint32_t firstLine, uint32_t lastLine) {
    const format::Formatted f = format::formatSource(text.bytes());
    if (!f.isText)
        throw RequestError{RequestFailed, "line " + std::to_string(f.zeroLine) + " holds a zero byte: not a source"};
    const std::vector<std::string_view> before = format::linesWithEnds(text.bytes());
    const std::vector<std::string_view> after = format::linesWithEnds(f.text);
    json edits = json::array();
    if (before.size() != after.size()) return edits;  // never so; nothing is safer than a guess
    for (uint32_t i = firstLine; i <= lastLine && i < before.size(); i++) {
        if (before[i] == after[i]) continue;
        // A whole line with its line end; the last, unended one up to its end.
        const bool ended = before[i].back() == '\n';
        const json end = ended ? position(i + 1, 0) : position(i, utf16Units(before[i], before[i].size()));
        edits.push_back({{"range", {{"start", position(i, 0)}, {"end", end}}}, {"newText", after[i]}});
    }
    return edits;
}

}  // namespace qvek::lsp
