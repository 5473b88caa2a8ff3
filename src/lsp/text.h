// Text as the protocol and the assembler each see it: the editor's lines
// (ended by "\n", "\r\n" or a lone "\r") with columns in UTF-16 code units, and
// the assembler's lines (ended by "\n" alone, carriage returns dropped), both
// found by byte offsets. Shared by the documents, the analysis and every
// feature. Writes nothing outside its values.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace qvek::lsp {

// A place in a text as the protocol names it: in the editor's lines.
struct Position {
    uint32_t line = 0;       // from 0
    uint32_t character = 0;  // UTF-16 code units from the start of the line
};

struct Range {
    Position start;
    Position end;
};

// A text with the offsets of its lines, immutable once made, shared by
// everything that reads one version of a file.
class Text {
  public:
    explicit Text(std::string bytes);
    const std::string& bytes() const { return bytes_; }

    /// Number of editor lines: line ends plus one.
    uint32_t lineCount() const { return static_cast<uint32_t>(starts_.size()); }
    /// Editor line i (from 0) without its line end; empty past the end.
    std::string_view line(uint32_t i) const;
    /// Byte offset of a position: past its line's end, before the line end; past the last line, the text's end.
    size_t offsetOf(Position p) const;
    /// The position of a byte offset (clamped to the text); an offset inside a line end is the line's end.
    Position positionAt(size_t offset) const;

    /// Number of assembler lines: line feeds plus one.
    uint32_t sourceLineCount() const { return static_cast<uint32_t>(sourceStarts_.size()); }
    /// Assembler line i (from 0) without its line feed and the carriage returns before it; empty past the end.
    std::string_view sourceLine(uint32_t i) const;
    /// The assembler line that holds a byte offset.
    uint32_t sourceLineAt(size_t offset) const;
    /// Byte offset where assembler line i starts (the text's end past the last).
    size_t sourceLineStart(uint32_t i) const;
    /// The editor line where assembler line i begins.
    uint32_t editorLineOf(uint32_t sourceLine) const { return positionAt(sourceLineStart(sourceLine)).line; }
    /// The position of a byte of assembler line i.
    Position positionOf(uint32_t sourceLine, size_t byteInLine) const {
        return positionAt(sourceLineStart(sourceLine) + byteInLine);
    }

  private:
    std::string bytes_;
    std::vector<size_t> starts_;        // byte offset where each editor line starts
    std::vector<size_t> sourceStarts_;  // byte offset where each assembler line starts
};

using SharedText = std::shared_ptr<const Text>;

/// Text::offsetOf for bytes not made a Text: walks to the line, copying nothing.
size_t offsetIn(std::string_view bytes, Position p);
/// UTF-16 code units in the first bytes of a line; a byte that is no valid UTF-8 counts as one unit.
uint32_t utf16Units(std::string_view line, size_t bytes);
/// Bytes that make up the first units UTF-16 code units of a line (clamped to the line).
size_t bytesOfUnits(std::string_view line, uint32_t units);

}  // namespace qvek::lsp
