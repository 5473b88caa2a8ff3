// Text as the protocol sees it: lines found by their byte offsets, and columns
// counted in UTF-16 code units as the protocol counts them. Shared by the
// documents, the analysis and every feature. Writes nothing outside its values.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace qvek::lsp {

// A place in a text as the protocol names it.
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
    /// Number of lines: line feeds plus one.
    uint32_t lineCount() const { return static_cast<uint32_t>(starts_.size()); }
    /// Line i (from 0) without its line feed or carriage return; empty past the end.
    std::string_view line(uint32_t i) const;
    /// Byte offset of a position, clamped to its line and to the text.
    size_t offsetOf(Position p) const;
    /// Position of a byte offset within line i.
    Position positionOf(uint32_t line, size_t byteInLine) const;

  private:
    std::string bytes_;
    std::vector<size_t> starts_;  // byte offset where each line starts
};

using SharedText = std::shared_ptr<const Text>;

/// UTF-16 code units in the first bytes of a line; a byte that is no valid UTF-8 counts as one unit.
uint32_t utf16Units(std::string_view line, size_t bytes);
/// Bytes that make up the first units UTF-16 code units of a line (clamped to the line).
size_t bytesOfUnits(std::string_view line, uint32_t units);

}  // namespace qvek::lsp
