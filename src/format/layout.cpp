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

// A statement in the parts the layout places.
struct Parts {
    std::string_view label;     // "#NAME" when the line starts with one
    std::string_view word;      // the statement word
    std::string_view operands;  // everything after the word
    std::string_view name;      // DEF and PAT with a value: the name defined, the first operand
    std::string_view value;     // the operands after that name
};

// The first n characters of rest, taken off it with the blank after them.
std::string_view take(std::string_view& rest, size_t n) {
    const std::string_view part = rest.substr(0, std::min(n, rest.size()));
    rest.remove_prefix(std::min(n + 1, rest.size()));
    return part;
}

Parts partsOf(const Statement& s) {
    std::string_view rest = s.normal;
    Parts p;
    if (s.cuts.label != 0) p.label = take(rest, s.cuts.label);
    p.word = take(rest, s.cuts.word);
    p.operands = rest;
    if (s.cuts.name != 0) {
        p.name = take(rest, s.cuts.name);
        p.value = rest;
    }
    return p;
}

// Text written from column 0, each part at its column or one blank after the
// part before; without room to write in, only measured.
struct Writer {
    char* out;
    size_t n = 0;
    void at(size_t column) {
        const size_t to = std::max(column, n == 0 ? 0 : n + 1);
        if (out != nullptr) std::memset(out + n, ' ', to - n);
        n = to;
    }
    void put(std::string_view s) {
        if (out != nullptr && !s.empty()) std::memcpy(out + n, s.data(), s.size());  // an empty part may point nowhere
        n += s.size();
    }
};

// Writes (or with out null, measures) a statement at the columns; the laid-out length.
size_t layStatement(const Columns& c, const Statement& s, char* out) {
    const Parts p = partsOf(s);
    Writer w{out};
    w.put(p.label);
    if (p.word.empty()) return w.n;
    w.at(c.word);
    w.put(p.word);
    if (p.operands.empty()) return w.n;
    w.at(c.operand);
    if (p.value.empty()) {
        w.put(p.operands);
        return w.n;
    }
    w.put(p.name);
    w.at(c.value);
    w.put(p.value);
    return w.n;
}

}  // namespace

Cuts cutsOf(std::string_view normal) {
    const auto tokenLength = [&](size_t from) {
        const size_t blank = normal.find(' ', from);
        return static_cast<uint8_t>((blank == std::string_view::npos ? normal.size() : blank) - from);
    };
    Cuts c;
    size_t at = 0;
    if (!normal.empty() && normal[0] == '#') {
        c.label = tokenLength(0);
        at = c.label + 1u;
    }
    if (at >= normal.size()) return c;
    c.word = tokenLength(at);
    const StatementCode code = lookupKeyword(normal.data() + at, c.word);
    at += c.word + 1u;
    if ((code == StatementCode::Def || code == StatementCode::Pat) && at < normal.size() && normal[at] == '#') {
        const uint8_t name = tokenLength(at);
        if (at + name < normal.size()) c.name = name;  // a blank and a value follow it
    }
    return c;
}

void widenNames(Widths& w, const Statement& s) {
    if (s.cuts.word != 0 && s.cuts.label + kLeastGap <= kMaxWordColumn) w.label = std::max<uint32_t>(w.label, s.cuts.label);
    if (s.cuts.name + kLeastGap <= kMaxNameWidth) w.name = std::max<uint32_t>(w.name, s.cuts.name);
}

void widenStatement(Widths& w, const Columns& c, const Statement& s) {
    if (!s.commented) return;
    const auto length = static_cast<uint32_t>(layStatement(c, s, nullptr));
    if (length + kLeastGap <= kMaxCommentColumn) w.statement = std::max(w.statement, length);
}

Columns columnsOf(const Widths& w) {
    Columns c;
    c.word = std::max(kMinWordColumn, roundUp(w.label + kLeastGap, kColumnStep));
    c.operand = c.word + kWordCell;
    c.value = c.operand + roundUp(w.name + kLeastGap, kColumnStep);
    c.comment = std::max(kMinCommentColumn, roundUp(w.statement + kLeastGap, kCommentStep));
    return c;
}

size_t layLine(const Columns& c, Kind kind, const Statement& s, char* out) {
    switch (kind) {
        case Kind::Blank:
        case Kind::LeftComment:
        case Kind::AsItStands: return 0;
        case Kind::IndentedComment: std::memset(out, ' ', c.word); return c.word;
        case Kind::Statement: break;
    }
    Writer w{out, layStatement(c, s, out)};
    // Where the columns would push a line past what the assembler reads, with a blank before its
    // comment, its tokens take single blanks.
    if (w.n + (s.commented ? 1 : 0) > kMaxStatementPart) {
        w.n = 0;
        w.put(s.normal);
    }
    if (!s.commented) return w.n;
    // A comment that cannot have a blank before it within the limit follows the last token directly.
    if (w.n + 1 > kMaxStatementPart) return w.n;
    w.at(std::min(c.comment, kMaxStatementPart));
    return w.n;
}

}  // namespace qvek::format
