#include "format/layout.h"

#include <algorithm>
#include <cstring>

#include "core/keywords.h"

namespace qvek::format {

namespace {

constexpr uint32_t kWordCell = 4;      // a statement word, three letters, and its blank
constexpr uint32_t kColumnStep = 4;    // word and value columns move in steps of this
constexpr uint32_t kCommentStep = 8;   // the comment column, in steps of this
constexpr uint32_t kLeastGap = 2;      // blanks at least before a column chosen for a file

constexpr uint32_t roundUp(uint32_t n, uint32_t step) { return (n + step - 1) / step * step; }

// A line as the assembler reads it, in the parts the layout places.
struct Parts {
    std::string_view label;     // "#NAME" when the line starts with one
    std::string_view word;      // the statement word
    std::string_view operands;  // everything after the word
    std::string_view name;      // DEF and PAT: the name defined, the first operand
    std::string_view value;     // DEF and PAT with a name: the operands after it
};

// Takes the next token off a line of single blanks.
std::string_view takeToken(std::string_view& rest) {
    const size_t blank = rest.find(' ');
    const std::string_view token = rest.substr(0, blank);
    rest = blank == std::string_view::npos ? std::string_view() : rest.substr(blank + 1);
    return token;
}

Parts partsOf(std::string_view normal) {
    Parts p;
    if (!normal.empty() && normal[0] == '#') p.label = takeToken(normal);
    p.word = takeToken(normal);
    p.operands = normal;
    const StatementCode code = lookupKeyword(p.word.data(), static_cast<uint32_t>(p.word.size()));
    if ((code == StatementCode::Def || code == StatementCode::Pat) && !normal.empty() && normal[0] == '#') {
        p.name = takeToken(normal);
        p.value = normal;
    }
    return p;
}

// Text written from column 0, each part at its column or one blank after the part before.
struct Writer {
    char* out;
    size_t n = 0;
    void at(size_t column) {
        const size_t to = std::max(column, n == 0 ? 0 : n + 1);
        std::memset(out + n, ' ', to - n);
        n = to;
    }
    void put(std::string_view s) {
        if (s.empty()) return;  // an empty part may point nowhere
        std::memcpy(out + n, s.data(), s.size());
        n += s.size();
    }
};

// Writes a statement at the columns; the laid-out length.
size_t layStatement(const Columns& c, std::string_view normal, char* out) {
    const Parts p = partsOf(normal);
    Writer w{out};
    w.put(p.label);
    if (p.word.empty()) return w.n;
    w.at(c.word);
    w.put(p.word);
    if (p.operands.empty()) return w.n;
    w.at(c.operand);
    if (p.name.empty() || p.value.empty()) {
        w.put(p.operands);
        return w.n;
    }
    w.put(p.name);
    w.at(c.value);
    w.put(p.value);
    return w.n;
}

}  // namespace

Columns chooseColumns(const std::vector<Shape>& lines) {
    uint32_t label = 0;
    uint32_t name = 0;
    for (const Shape& l : lines) {
        if (l.kind != Kind::Statement) continue;
        const Parts p = partsOf(l.normal);
        const auto labelLength = static_cast<uint32_t>(p.label.size());
        if (!p.word.empty() && labelLength + kLeastGap <= kMaxWordColumn) label = std::max(label, labelLength);
        const auto nameLength = static_cast<uint32_t>(p.name.size());
        if (!p.value.empty() && nameLength + kLeastGap <= kMaxNameWidth) name = std::max(name, nameLength);
    }
    Columns c;
    c.word = std::max(kMinWordColumn, roundUp(label + kLeastGap, kColumnStep));
    c.operand = c.word + kWordCell;
    c.value = c.operand + roundUp(name + kLeastGap, kColumnStep);
    uint32_t statement = 0;
    char scratch[kLaidOutSize];
    for (const Shape& l : lines) {
        if (l.kind != Kind::Statement || !l.commented) continue;
        const auto length = static_cast<uint32_t>(layStatement(c, l.normal, scratch));
        if (length + kLeastGap <= kMaxCommentColumn) statement = std::max(statement, length);
    }
    c.comment = std::max(kMinCommentColumn, roundUp(statement + kLeastGap, kCommentStep));
    return c;
}

size_t layLine(const Columns& c, const Shape& line, char* out) {
    switch (line.kind) {
        case Kind::Blank:
        case Kind::LeftComment:
        case Kind::AsItStands: return 0;
        case Kind::IndentedComment: std::memset(out, ' ', c.word); return c.word;
        case Kind::Statement: break;
    }
    Writer w{out, layStatement(c, line.normal, out)};
    // Where the columns would push a line past what the assembler reads, with a blank before its
    // comment, its tokens take single blanks.
    if (w.n + (line.commented ? 1 : 0) > kMaxStatementPart) {
        w.n = 0;
        w.put(line.normal);
    }
    if (!line.commented) return w.n;
    // A comment that cannot have a blank before it within the limit follows the last token directly.
    if (w.n + 1 > kMaxStatementPart) return w.n;
    w.at(std::min(c.comment, kMaxStatementPart));
    return w.n;
}

}  // namespace qvek::format
