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

// Parts and gaps are short: they are copied a few words at a time, each
// within its own bounds, rather than through calls made for long runs.
template <size_t N>
void copyWord(char* to, const char* from) {
    std::memcpy(to, from, N);
}

void copyShort(char* to, const char* from, size_t n) {
    if (n >= 16) {
        for (size_t i = 0; i + 16 < n; i += 16) copyWord<16>(to + i, from + i);
        copyWord<16>(to + n - 16, from + n - 16);
    } else if (n >= 8) {
        copyWord<8>(to, from);
        copyWord<8>(to + n - 8, from + n - 8);
    } else if (n >= 4) {
        copyWord<4>(to, from);
        copyWord<4>(to + n - 4, from + n - 4);
    } else if (n > 0) {
        to[0] = from[0];
        to[n / 2] = from[n / 2];
        to[n - 1] = from[n - 1];
    }
}

// Blanks enough for any gap between columns.
constexpr struct Blanks {
    char text[kLaidOutSize] = {};
    constexpr Blanks() {
        for (char& c : text) c = ' ';
    }
} kBlanks;

// Text written from column 0, each part at its column or one blank after the
// part before; without room to write in, only measured.
struct Writer {
    char* out;
    size_t n = 0;
    void at(size_t column) {
        const size_t to = std::max(column, n == 0 ? 0 : n + 1);
        if (out != nullptr) copyShort(out + n, kBlanks.text, to - n);
        n = to;
    }
    void put(std::string_view s) {
        if (out != nullptr) copyShort(out + n, s.data(), s.size());
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
    // Where the first three tokens end: a reading has single blanks and none at its ends.
    size_t ends[3];
    size_t found = 0;
    for (size_t i = 0; i < normal.size() && found < 3; i++)
        if (normal[i] == ' ') ends[found++] = i;
    while (found < 3) ends[found++] = normal.size();
    Cuts c;
    size_t token = 0;  // of the statement word
    if (!normal.empty() && normal[0] == '#') {
        c.label = static_cast<uint8_t>(ends[0]);
        token = 1;
    }
    const size_t wordAt = token == 0 ? 0 : std::min(ends[0] + 1, normal.size());
    c.word = static_cast<uint8_t>(ends[token] - wordAt);
    const size_t nameAt = std::min(ends[token] + 1, normal.size());
    // A defined name needs a value after it.
    if (nameAt < normal.size() && normal[nameAt] == '#' && ends[token + 1] < normal.size()) {
        const StatementCode code = lookupKeyword(normal.data() + wordAt, c.word);
        if (code == StatementCode::Def || code == StatementCode::Pat) c.name = static_cast<uint8_t>(ends[token + 1] - nameAt);
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
        case Kind::IndentedComment: copyShort(out, kBlanks.text, c.word); return c.word;
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
