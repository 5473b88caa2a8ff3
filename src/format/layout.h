// The one layout of a source: labels in the first column, statement words,
// operands, defined values and trailing comments each in a column of its own,
// chosen once for a whole file. Writes only the buffers it is given.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

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

// Where the parts of a statement end, as lengths: the label's (0 without one),
// the statement word's, and the name DEF or PAT defines when a value follows it (0 otherwise).
struct Cuts {
    uint8_t label = 0;
    uint8_t word = 0;
    uint8_t name = 0;
};

struct Statement {
    std::string_view normal;  // the line as the assembler reads it (single blanks, upper case)
    Cuts cuts;                // of normal, as cutsOf gives them
    bool commented = false;   // a comment follows
};

// What the columns of a file are chosen from, gathered in two rounds over its statements.
struct Widths {
    uint32_t label = 0;      // the longest label within the cap
    uint32_t name = 0;       // the longest defined name within the cap
    uint32_t statement = 0;  // the longest commented statement laid out, within the cap
};

struct Columns {
    uint32_t word = kMinWordColumn;
    uint32_t operand = kMinWordColumn + 4;
    uint32_t value = kMinWordColumn + 4;  // of DEF and PAT, after the name they define
    uint32_t comment = kMinCommentColumn;
};

/// The parts of a line as the assembler reads it, at most kMaxStatementPart characters.
Cuts cutsOf(std::string_view normal);
/// Round one: widens w to a statement's label and defined name, where the caps let them move a column.
void widenNames(Widths& w, const Statement& s);
/// Round two, at the columns of round one: widens w to a commented statement laid out.
void widenStatement(Widths& w, const Columns& c, const Statement& s);
/// The columns of the widths gathered so far.
Columns columnsOf(const Widths& w);
/// Writes a line up to its comment (or its end) into out, kLaidOutSize bytes; returns the bytes written.
size_t layLine(const Columns& columns, Kind kind, const Statement& s, char* out);

}  // namespace qvek::format
