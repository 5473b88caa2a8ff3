#include "lsp/formatting.h"

#include <string_view>
#include <vector>

#include "format/formatter.h"

namespace qvek::lsp {

namespace {

json position(Position p) { return {{"line", p.line}, {"character", p.character}}; }

}  // namespace

json formattingEdits(const Text& text, uint32_t firstLine, uint32_t lastLine) {
    const format::Formatted f = format::formatSource(text.bytes());
    if (!f.isText)
        throw RequestError{RequestFailed, "line " + std::to_string(f.zeroLine) + " holds a zero byte: not a source"};
    const std::vector<std::string_view> before = format::linesWithEnds(text.bytes());
    const std::vector<std::string_view> after = format::linesWithEnds(f.text);
    json edits = json::array();
    if (before.size() != after.size()) return edits;  // never so; nothing is safer than a guess
    // The formatter's lines are the assembler's; the editor's may be more (a lone carriage return ends one).
    size_t start = 0;
    for (uint32_t i = 0; i < before.size(); start += before[i++].size()) {
        const uint32_t editorLine = text.editorLineOf(i);
        if (editorLine < firstLine || editorLine > lastLine || before[i] == after[i]) continue;
        // A whole line with its line end; the last, unended one up to its end.
        edits.push_back({{"range", {{"start", position(text.positionAt(start))},
                                    {"end", position(text.positionAt(start + before[i].size()))}}},
                         {"newText", after[i]}});
    }
    return edits;
}

}  // namespace qvek::lsp
