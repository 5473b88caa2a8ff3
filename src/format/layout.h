// The one layout of a source: labels in the first column, statement words,
// operands, defined values and trailing comments each in a column of its own,
// chosen once for a whole file. Writes only the buffers it is given.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>
#include <vector>

namespace qvek::format {

// Columns, counted from 0.
constexpr uint32_t kMinWordColumn = 8;      // statement words, with no label or short ones
constexpr uint32_t kMaxWordColumn = 16;     // a longer label is followed by one blank, not by a wider column
constexpr uint32_t kMaxNameWidth = 24;      // a longer name of DEF or PAT is followed by one blank
constexpr uint32_t kMinCommentColumn = 32;  // trailing comments
constexpr uint32_t kMaxCommentColumn = 72;  // a longer statement is followed by one blank before its comment
// The longest statement part the assembler takes, which no laid-out line passes either.
constexpr uint32_t kMaxStatementPart = 120;
// Room for a laid-out line before its comment: every column's blanks and a line of the longest.
constexpr size_t kLaidOutSize = 2 * kMaxStatementPart + kMaxCommentColumn;

// What a line is to the layout.
enum class Kind : uint8_t {
    Blank,            // nothing, or blanks only
    Statement,        // tokens, and perhaps a comment after them
    LeftComment,      // a comment that starts the line
    IndentedComment,  // a comment after blanks: it goes to the statement words' column
    AsItStands,       // left exactly as it stood
};

struct Shape {
    Kind kind = Kind::Blank;
    std::string_view normal;  // Statement: the line as the assembler reads it (single blanks, upper case)
    bool commented = false;   // a comment follows
};

struct Columns {
    uint32_t word = kMinWordColumn;
    uint32_t operand = kMinWordColumn + 4;
    uint32_t value = kMinWordColumn + 4;  // of DEF and PAT, after the name they define
    uint32_t comment = kMinCommentColumn;
};

/// The columns of a file, from its longest label, defined name and commented statement within the caps.
Columns chooseColumns(const std::vector<Shape>& lines);
/// Writes a line up to its comment (or its end) into out, kLaidOutSize bytes; returns the bytes written.
size_t layLine(const Columns& columns, const Shape& line, char* out);

}  // namespace qvek::format
