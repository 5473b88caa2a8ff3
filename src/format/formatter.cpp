#include "format/formatter.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <new>

#include "core/asm_state.h"
#include "core/keywords.h"
#include "core/state_memory.h"
#include "format/layout.h"
#include "source/reader.h"

namespace qvek::format {

namespace {

// What a byte before a line's comment makes of the line.
enum class ByteClass : uint8_t {
    Blank,    // space, tab
    Printed,  // part of a token
    Dropped,  // carriage return, form feed: the assembler reads past them, joining what they separate
    Odd,      // any other control byte, or a byte beyond ASCII
};

struct ByteClasses {
    ByteClass of[256] = {};
    constexpr ByteClasses() {
        for (int c = 0; c < 256; c++) {
            if (c == ' ' || c == '\t')
                of[c] = ByteClass::Blank;
            else if (c == '\r' || c == '\f')
                of[c] = ByteClass::Dropped;
            else if (c > ' ' && c < 0x7F)
                of[c] = ByteClass::Printed;
            else
                of[c] = ByteClass::Odd;
        }
    }
};
constexpr ByteClasses kClasses;

// The worst a statement part's classes add up to.
struct Scan {
    bool printed = false;
    bool dropped = false;
    bool odd = false;
};

Scan scan(const char* p, const char* end) {
    Scan s;
    for (; p < end; p++) switch (kClasses.of[static_cast<unsigned char>(*p)]) {
            case ByteClass::Blank: break;
            case ByteClass::Printed: s.printed = true; break;
            case ByteClass::Dropped: s.dropped = true; break;
            case ByteClass::Odd: s.odd = true; break;
        }
    return s;
}

// One line of the input and what the formatter makes of it.
struct Line {
    size_t begin = 0;         // offset of the line in the input
    uint32_t length = 0;      // bytes before its line end
    uint32_t star = 0;        // offset of its comment's '*' in the line, or length without one
    uint32_t normal = 0;      // offset of the assembler's reading of it in the pool of read lines
    uint8_t normalLength = 0; // characters of that reading; 0 when the assembler reads nothing there
    uint8_t ending = 0;       // bytes of its line end: 0 (the last line, unended), 1 ("\n") or 2 ("\r\n")
    bool tooLong = false;     // the assembler refuses it for its length
    Kind kind = Kind::Blank;
};

// Splits the input at its line feeds: a carriage return before one belongs
// to the line end, any other stays in the line, as the assembler reads past it.
std::vector<Line> splitLines(std::string_view text) {
    std::vector<Line> lines;
    lines.reserve(static_cast<size_t>(std::count(text.begin(), text.end(), '\n')) + 1);
    size_t at = 0;
    while (at < text.size()) {
        const void* found = std::memchr(text.data() + at, '\n', text.size() - at);
        Line l;
        l.begin = at;
        size_t end = found != nullptr ? static_cast<size_t>(static_cast<const char*>(found) - text.data()) : text.size();
        at = found != nullptr ? end + 1 : end;
        if (found != nullptr) {
            l.ending = 1;
            if (end > l.begin && text[end - 1] == '\r') end--, l.ending = 2;
        }
        l.length = static_cast<uint32_t>(end - l.begin);
        const void* star = std::memchr(text.data() + l.begin, '*', l.length);
        l.star = star != nullptr ? static_cast<uint32_t>(static_cast<const char*>(star) - (text.data() + l.begin))
                                 : l.length;
        lines.push_back(l);
    }
    return lines;
}

// Reads the input through the assembler's own line reader, storing what it
// delivers for each line in pool. A line it refuses is passed over to its
// line feed, as the assembler would stop there; the lines after it are read on.
void readAsAssembler(std::string_view text, std::vector<Line>& lines, std::string& pool) {
    if (text.empty()) return;
    AsmStatePtr st = newAsmState();
    if (st == nullptr) throw std::bad_alloc();
    st->currentLine = 0;
    st->linesDigest = kLineDigestSeed;
    FILE* stream = fmemopen(const_cast<char*>(text.data()), text.size(), "r");
    if (stream == nullptr) throw std::bad_alloc();
    std::vector<char> buffer(64 * 1024);
    setvbuf(stream, buffer.data(), _IOFBF, buffer.size());
    // The reader stores whole chunks past a line's terminator.
    char line[kLineBufferSize + 64];
    for (;;) {
        const ReadResult r = readSourceLine(*st, line, stream);
        const auto n = static_cast<size_t>(st->currentLine);
        if (r == EndOfFile || n == 0 || n > lines.size()) break;
        Line& l = lines[n - 1];
        if (r == LineRead) {
            l.normal = static_cast<uint32_t>(pool.size());
            l.normalLength = static_cast<uint8_t>(std::strlen(line));
            pool.append(line, l.normalLength);
            continue;
        }
        if (r != LineTooLong && r != ZeroByte) break;
        l.tooLong = r == LineTooLong;
        int c;
        do c = getc_unlocked(stream);
        while (c != EOF && c != '\n');
    }
    std::fclose(stream);
}

// What each line is, and the notes on those left as they stood.
void classify(std::string_view text, std::vector<Line>& lines, std::vector<Note>& notes) {
    for (size_t i = 0; i < lines.size(); i++) {
        Line& l = lines[i];
        const char* const p = text.data() + l.begin;
        const Scan s = scan(p, p + l.star);
        const auto note = [&](Untouched why) {
            l.kind = Kind::AsItStands;
            notes.push_back({static_cast<uint32_t>(i + 1), why});
        };
        if (l.tooLong)
            note(Untouched::TooLong);
        else if (s.odd)
            note(Untouched::OddByte);
        else if (s.dropped && s.printed)
            note(Untouched::DroppedByte);
        else if (s.dropped)
            l.kind = Kind::AsItStands;  // a page break: nothing the assembler reads, kept where it is
        else if (s.printed != (l.normalLength > 0))
            note(Untouched::OddByte);  // the reader saw otherwise: never rewrite what is not understood
        else if (s.printed)
            l.kind = Kind::Statement;
        else if (l.star < l.length)
            l.kind = p[0] == '*' ? Kind::LeftComment : Kind::IndentedComment;
        else
            l.kind = Kind::Blank;
    }
}

// The comment of a line without its trailing blanks.
std::string_view commentOf(std::string_view text, const Line& l) {
    std::string_view c = text.substr(l.begin + l.star, l.length - l.star);
    while (!c.empty() && (c.back() == ' ' || c.back() == '\t')) c.remove_suffix(1);
    return c;
}

}  // namespace

std::vector<std::string_view> linesWithEnds(std::string_view text) {
    std::vector<std::string_view> lines;
    while (!text.empty()) {
        const size_t feed = text.find('\n');
        const size_t length = feed == std::string_view::npos ? text.size() : feed + 1;
        lines.push_back(text.substr(0, length));
        text.remove_prefix(length);
    }
    return lines;
}

const char* describe(Untouched why) {
    switch (why) {
        case Untouched::TooLong: return "is longer than the assembler reads";
        case Untouched::OddByte: return "holds a control character or a byte beyond ASCII before its comment";
        case Untouched::DroppedByte: return "holds a carriage return or form feed among its tokens";
    }
    return "";
}

Formatted formatSource(std::string_view source) {
    Formatted f;
    if (source.empty()) return f;
    if (const void* zero = std::memchr(source.data(), '\0', source.size()); zero != nullptr) {
        const auto before = static_cast<size_t>(static_cast<const char*>(zero) - source.data());
        f.isText = false;
        f.zeroLine = static_cast<uint32_t>(std::count(source.begin(), source.begin() + before, '\n') + 1);
        return f;
    }
    std::vector<Line> lines = splitLines(source);
    std::string pool;
    readAsAssembler(source, lines, pool);
    classify(source, lines, f.notes);

    std::vector<Shape> shapes(lines.size());
    for (size_t i = 0; i < lines.size(); i++) {
        shapes[i].kind = lines[i].kind;
        if (lines[i].kind == Kind::Statement)
            shapes[i].normal = std::string_view(pool).substr(lines[i].normal, lines[i].normalLength);
        shapes[i].commented = lines[i].star < lines[i].length;
    }
    const Columns columns = chooseColumns(shapes);

    // Every line takes the first line's end; one left as it stood keeps its own.
    const std::string_view ending = !lines.empty() && lines[0].ending == 2 ? "\r\n" : "\n";
    f.text.reserve(source.size() + source.size() / 4);
    char buffer[kLaidOutSize];
    for (size_t i = 0; i < lines.size(); i++) {
        const Line& l = lines[i];
        if (l.kind == Kind::AsItStands) {
            f.text.append(source.substr(l.begin, l.length + l.ending));
            continue;
        }
        f.text.append(buffer, layLine(columns, shapes[i], buffer));
        if (shapes[i].commented) f.text.append(commentOf(source, l));
        f.text.append(ending);
    }
    return f;
}

}  // namespace qvek::format
