#include "format/formatter.h"

#include <algorithm>
#include <bit>
#include <cstdio>
#include <cstring>
#include <new>
#include <utility>

#include "core/asm_state.h"
#include "core/keywords.h"
#include "core/state_memory.h"
#include "format/layout.h"
#include "source/reader.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

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

// What the formatter keeps of a line between reading the file and writing it:
// the rest is found again in the text, at no more cost than keeping it.
struct Line {
    Kind kind = Kind::Blank;
    uint8_t normalLength = 0;  // Statement: characters of its reading, which follows the last one's in the pool
    Cuts cuts;                 // Statement: of its reading
    bool commented = false;    // a comment follows its statement part
};

// One line of a text, from a line feed to the next: a carriage return before
// it belongs to the line end, any other stays in the line, as the assembler
// reads past it.
struct Piece {
    std::string_view line;    // without its line end
    std::string_view ending;  // "", "\n" or "\r\n"
    size_t star = 0;          // offset of its comment's '*', or line.size() without one
    Scan scan;                // of its statement part, before star
};

// Where the line at the front of rest ends and its comment starts, found from
// the given offset on (where not given); the scan of the statement part from scanFrom on.
void finishLine(std::string_view rest, size_t from, size_t feed, size_t star, size_t scanFrom, Piece& p) {
    if (feed == std::string_view::npos) {
        const void* found = std::memchr(rest.data() + from, '\n', rest.size() - from);
        feed = found != nullptr ? static_cast<size_t>(static_cast<const char*>(found) - rest.data()) : rest.size();
    }
    size_t end = feed;
    size_t endingLength = feed < rest.size() ? 1 : 0;
    if (endingLength != 0 && end > 0 && rest[end - 1] == '\r') end--, endingLength = 2;
    if (star == std::string_view::npos && from < end) {
        const void* found = std::memchr(rest.data() + from, '*', end - from);
        star = found != nullptr ? static_cast<size_t>(static_cast<const char*>(found) - rest.data()) : end;
    }
    p.line = rest.substr(0, end);
    p.ending = rest.substr(end, endingLength);
    p.star = std::min(star, end);
    if (scanFrom < p.star) {
        const Scan more = scan(rest.data() + scanFrom, rest.data() + p.star);
        p.scan.printed |= more.printed;
        p.scan.dropped |= more.dropped;
        p.scan.odd |= more.odd;
    }
}

#if defined(__SSE2__)
// Lines are short: most lie whole in a window of 64 bytes, whose line feeds,
// stars and classes of bytes are marked a bit a byte, sixteen bytes at a time.
constexpr size_t kWindow = 64;

struct Window {
    uint64_t feeds = 0;
    uint64_t stars = 0;
    uint64_t blanks = 0;
    uint64_t printed = 0;  // '!' to '~'
};

// The window at p, up to the first sixteen bytes that hold a line feed; its
// classes of bytes only where asked for.
template <bool kClassed>
Window windowAt(const char* p) {
    Window w;
    for (size_t i = 0; i < kWindow && w.feeds == 0; i += 16) {
        const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + i));
        const auto mark = [&](__m128i bytes) { return uint64_t{static_cast<uint16_t>(_mm_movemask_epi8(bytes))} << i; };
        w.feeds |= mark(_mm_cmpeq_epi8(v, _mm_set1_epi8('\n')));
        w.stars |= mark(_mm_cmpeq_epi8(v, _mm_set1_epi8('*')));
        if (!kClassed) continue;
        w.blanks |= mark(_mm_or_si128(_mm_cmpeq_epi8(v, _mm_set1_epi8(' ')), _mm_cmpeq_epi8(v, _mm_set1_epi8('\t'))));
        // Compared as signed bytes, those beyond ASCII are below ' '.
        w.printed |= mark(_mm_and_si128(_mm_cmpgt_epi8(v, _mm_set1_epi8(' ')), _mm_cmplt_epi8(v, _mm_set1_epi8(0x7F))));
    }
    return w;
}

// The window's classes agree with the byte table's.
constexpr bool windowAgrees() {
    for (int c = 0; c < 256; c++) {
        const ByteClass k = kClasses.of[c];
        if ((c == ' ' || c == '\t') != (k == ByteClass::Blank)) return false;
        if ((c > ' ' && c < 0x7F) != (k == ByteClass::Printed)) return false;
    }
    return true;
}
static_assert(windowAgrees(), "the window marks the classes of the byte table");
#endif

// Takes the line at the front of rest off it, with the scan of its statement part where asked for.
template <bool kScanned>
Piece takeLine(std::string_view& rest) {
    constexpr size_t kNone = std::string_view::npos;
    size_t from = 0;
    size_t feed = kNone;
    size_t star = kNone;
    size_t scanFrom = kScanned ? 0 : kNone;
    Piece p;
#if defined(__SSE2__)
    if (rest.size() >= kWindow) {
        const Window w = windowAt<kScanned>(rest.data());
        from = kWindow;
        uint64_t inLine = ~uint64_t{0};
        if (w.feeds != 0) {
            feed = static_cast<size_t>(std::countr_zero(w.feeds));
            inLine = (w.feeds & -w.feeds) - 1;
            if (feed > 0 && rest[feed - 1] == '\r') inLine >>= 1;  // the line end's carriage return
            star = feed;
        }
        const uint64_t stars = w.stars & inLine;
        if (stars != 0) star = static_cast<size_t>(std::countr_zero(stars));
        if (kScanned) {
            // The statement part within the window; one with any other byte is scanned whole.
            const uint64_t statement = stars != 0 ? (stars & -stars) - 1 : inLine;
            if ((statement & ~(w.blanks | w.printed)) == 0) {
                p.scan.printed = (statement & w.printed) != 0;
                scanFrom = static_cast<size_t>(std::countr_one(statement));
            }
        }
    }
#endif
    finishLine(rest, from, feed, star, scanFrom, p);
    rest.remove_prefix(p.line.size() + p.ending.size());
    return p;
}

// The assembler's reading of one line: what it delivered, or how it refused it.
struct Reading {
    std::string_view normal;  // empty when it delivered nothing here
    bool tooLong = false;
};

// The first pass: every line read through the assembler's own line reader and
// classified, the readings of statements kept in a pool, the notes taken.
class FirstPass {
  public:
    FirstPass(std::string_view source, std::vector<Note>& notes) : rest_(source), notes_(notes) {
        size_t count = 1;
        const char* const end = source.data() + source.size();
        for (const void* p = source.data(); (p = std::memchr(p, '\n', static_cast<size_t>(end - static_cast<const char*>(p)))) != nullptr;
             p = static_cast<const char*>(p) + 1)
            count++;
        lines_.reserve(count);
        pool_.reserve(source.size());  // a reading is never longer than its line
    }

    void run();
    const std::vector<Line>& lines() const { return lines_; }
    const std::string& pool() const { return pool_; }
    std::string_view ending() const { return ending_; }

  private:
    void add(const Reading& r);

    std::string_view rest_;  // the lines not yet added
    std::vector<Note>& notes_;
    std::vector<Line> lines_;
    std::string pool_;
    std::string_view ending_ = "\n";  // the first line's end, which every line laid out takes
};

void FirstPass::run() {
    AsmStatePtr st = newAsmState();
    if (st == nullptr) throw std::bad_alloc();
    st->currentLine = 0;
    st->linesDigest = kLineDigestSeed;
    FILE* stream = fmemopen(const_cast<char*>(rest_.data()), rest_.size(), "r");
    if (stream == nullptr) throw std::bad_alloc();
    std::vector<char> buffer(64 * 1024);
    setvbuf(stream, buffer.data(), _IOFBF, buffer.size());
    // The reader stores whole chunks past a line's terminator.
    char line[kLineBufferSize + 64];
    // The reader passes over lines it delivers nothing for; those are added on
    // the way to the line it delivers. A line it refuses is passed over to its
    // line feed, as the assembler would stop there; the lines after it are read on.
    for (;;) {
        const ReadResult r = readSourceLine(*st, line, stream);
        const auto n = static_cast<size_t>(st->currentLine);
        if (r == EndOfFile || n == 0) break;
        while (lines_.size() + 1 < n && !rest_.empty()) add({});
        if (lines_.size() + 1 != n || rest_.empty()) break;
        if (r == LineRead) {
            add({std::string_view(line, std::strlen(line))});
            continue;
        }
        if (r != LineTooLong && r != ZeroByte) break;
        add({{}, r == LineTooLong});
        int c;
        do c = getc_unlocked(stream);
        while (c != EOF && c != '\n');
    }
    std::fclose(stream);
    while (!rest_.empty()) add({});
}

void FirstPass::add(const Reading& r) {
    const Piece p = takeLine<true>(rest_);
    if (lines_.empty() && p.ending.size() == 2) ending_ = "\r\n";
    Line l;
    l.commented = p.star < p.line.size();
    const Scan& s = p.scan;
    const auto note = [&](Untouched why) {
        l.kind = Kind::AsItStands;
        notes_.push_back({static_cast<uint32_t>(lines_.size() + 1), why});
    };
    if (r.tooLong)
        note(Untouched::TooLong);
    else if (s.odd)
        note(Untouched::OddByte);
    else if (s.dropped && s.printed)
        note(Untouched::DroppedByte);
    else if (s.dropped)
        l.kind = Kind::AsItStands;  // a page break: nothing the assembler reads, kept where it is
    else if (s.printed != !r.normal.empty())
        note(Untouched::OddByte);  // the reader saw otherwise: never rewrite what is not understood
    else if (s.printed)
        l.kind = Kind::Statement;
    else if (l.commented)
        l.kind = p.star == 0 ? Kind::LeftComment : Kind::IndentedComment;
    if (l.kind == Kind::Statement) {
        l.normalLength = static_cast<uint8_t>(r.normal.size());
        l.cuts = cutsOf(r.normal);
        pool_.append(r.normal);
    }
    lines_.push_back(l);
}

// The formatted text, gathered into pieces of a buffer's size for the sink.
class Output {
  public:
    explicit Output(Sink& sink) : sink_(sink), buffer_(64 * 1024) {}

    // Room for n bytes, n at most the buffer's size; commit what was written there.
    char* room(size_t n) {
        if (n_ + n > buffer_.size()) flush();
        return buffer_.data() + n_;
    }
    void commit(size_t n) { n_ += n; }
    void put(std::string_view s) {
        if (s.size() > buffer_.size() / 2) {
            flush();
            sink_.put(s);
            return;
        }
        std::memcpy(room(s.size()), s.data(), s.size());
        commit(s.size());
    }
    void flush() {
        if (n_ != 0) sink_.put(std::string_view(buffer_.data(), n_));
        n_ = 0;
    }

  private:
    Sink& sink_;
    std::vector<char> buffer_;
    size_t n_ = 0;
};

// The comment of a line without its trailing blanks.
std::string_view commentOf(const Piece& p) {
    std::string_view c = p.line.substr(p.star);
    while (!c.empty() && (c.back() == ' ' || c.back() == '\t')) c.remove_suffix(1);
    return c;
}

// Collects a formatting into a string.
class Collect : public Sink {
  public:
    explicit Collect(std::string& text) : text_(text) {}
    void put(std::string_view piece) override { text_.append(piece); }

  private:
    std::string& text_;
};

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
    std::string text;
    text.reserve(source.size() + source.size() / 4);
    Collect collect(text);
    Formatted f = formatSource(source, collect);
    f.text = std::move(text);
    return f;
}

Formatted formatSource(std::string_view source, Sink& sink) {
    Formatted f;
    if (source.empty()) return f;
    if (const void* zero = std::memchr(source.data(), '\0', source.size()); zero != nullptr) {
        const auto before = static_cast<size_t>(static_cast<const char*>(zero) - source.data());
        f.isText = false;
        f.zeroLine = static_cast<uint32_t>(std::count(source.begin(), source.begin() + before, '\n') + 1);
        return f;
    }
    FirstPass first(source, f.notes);
    first.run();
    const std::string_view pool = first.pool();

    // The columns: from the labels and names of all statements, then from the commented ones laid out at them.
    Widths widths;
    const auto eachStatement = [&](auto&& visit) {
        size_t at = 0;
        for (const Line& l : first.lines()) {
            if (l.kind != Kind::Statement) continue;
            visit(Statement{pool.substr(at, l.normalLength), l.cuts, l.commented});
            at += l.normalLength;
        }
    };
    eachStatement([&](const Statement& s) { widenNames(widths, s); });
    const Columns named = columnsOf(widths);
    eachStatement([&](const Statement& s) { widenStatement(widths, named, s); });
    const Columns columns = columnsOf(widths);

    // Every line takes the first line's end; one left as it stood keeps its own.
    Output out(sink);
    std::string_view rest = source;
    size_t at = 0;
    for (const Line& l : first.lines()) {
        const Piece p = takeLine<false>(rest);
        if (l.kind == Kind::AsItStands) {
            out.put(p.line);
            out.put(p.ending);
            continue;
        }
        const Statement s{pool.substr(at, l.normalLength), l.cuts, l.commented};
        at += l.normalLength;
        out.commit(layLine(columns, l.kind, s, out.room(kLaidOutSize)));
        if (l.commented) out.put(commentOf(p));
        out.put(first.ending());
    }
    out.flush();
    return f;
}

}  // namespace qvek::format
