#include "source/reader.h"

#include <cstring>

namespace qvek {

namespace {

// What one source byte does to the line being read. This is the one place
// that decides it; the code below only acts on the answer.
enum class ByteRole : uint8_t {
    Keep,     // stored, upper-cased
    Blank,    // separates tokens; runs collapse to one space, none lead or trail
    Dropped,  // carriage return, form feed: as if absent
    Comment,  // '*': the rest of the line is skipped
    LineEnd,  // line feed: counts the line; the only byte a comment does not skip
    Zero,     // 0x00 outside a comment: refused, it would end the stored line early
};

constexpr ByteRole roleOf(unsigned char c) {
    switch (c) {
        case '\n': return ByteRole::LineEnd;
        case '\0': return ByteRole::Zero;
        case '\r':
        case '\f': return ByteRole::Dropped;
        case '*': return ByteRole::Comment;
        case ' ':
        case '\t': return ByteRole::Blank;
        default: return ByteRole::Keep;
    }
}

constexpr char stored(unsigned char c) { return static_cast<char>(c >= 'a' && c <= 'z' ? c - 'a' + 'A' : c); }

// The answers for every byte, worked out once, in the forms the reading needs.
struct ByteTable {
    ByteRole role[256] = {};    // roleOf every byte
    char text[256] = {};        // the character stored for a kept byte
    uint8_t keep[256] = {};     // 1 for a kept byte
    uint8_t blank[256] = {};    // 1 for a blank
    int lineEnds = 0;           // bytes of role LineEnd
    unsigned char lineEnd = 0;  // the byte that ends a line
    constexpr ByteTable() {
        for (int c = 0; c < 256; c++) {
            const ByteRole role = roleOf(static_cast<unsigned char>(c));
            this->role[c] = role;
            text[c] = stored(static_cast<unsigned char>(c));
            keep[c] = role == ByteRole::Keep;
            blank[c] = role == ByteRole::Blank;
            if (role == ByteRole::LineEnd) lineEnds++, lineEnd = static_cast<unsigned char>(c);
        }
    }
};
constexpr ByteTable kBytes;
// The rest of a comment is searched for its line end, not classified byte by byte.
static_assert(kBytes.lineEnds == 1, "one byte ends a line");

// The bytes a stream has buffered and not yet delivered: what getc_unlocked
// takes one at a time, taken here a run at a time from the same two fields.
// Elsewhere the run is always empty and every byte comes through getc_unlocked
// (QVEK_READER_BYTEWISE builds that way here too, for the tests).
#if defined(__GLIBC__) && !defined(QVEK_READER_BYTEWISE)
#define QVEK_READER_RUNS 1
#endif

struct Run {
    const char* begin;
    const char* end;
};

Run bufferedRun(FILE* stream) {
#if defined(QVEK_READER_RUNS)
    return {stream->_IO_read_ptr, stream->_IO_read_end};
#else
    (void)stream;
    return {nullptr, nullptr};
#endif
}

void consumeRun(FILE* stream, size_t used) {
#if defined(QVEK_READER_RUNS)
    stream->_IO_read_ptr += used;
#else
    (void)stream;
    (void)used;
#endif
}

// The line being built, across the runs it spans.
struct Builder {
    char* line;                 // the caller's buffer
    uint32_t length = 0;        // characters stored
    bool pendingBlank = false;  // a blank held back until a later character shows it is not trailing
    bool inComment = false;     // the rest of the line is skipped
};

enum class Outcome : uint8_t { Continues, LineEnded, TooLong, ZeroByte };

bool keptAt(const char* p) { return kBytes.keep[static_cast<unsigned char>(*p)] != 0; }
bool blankAt(const char* p) { return kBytes.blank[static_cast<unsigned char>(*p)] != 0; }

// Where a comment that goes on in [p, end) stops: at the line end, or at end.
const char* commentEnd(const char* p, const char* end) {
    const void* found = std::memchr(p, kBytes.lineEnd, static_cast<size_t>(end - p));
    return found != nullptr ? static_cast<const char*>(found) : end;
}

// Takes bytes from [p, end) into the line; returns how many it used: up to and
// including a line end or the character that makes the line too long. Kept
// characters and blanks come in runs and are taken a run at a time.
size_t take(Builder& b, const char* p, const char* end, Outcome* outcome) {
    const char* const start = p;
    // Locals, so that stores into the line cannot be taken for changes to them.
    char* const line = b.line;
    uint32_t length = b.length;
    bool pendingBlank = b.pendingBlank;
    *outcome = Outcome::Continues;
    if (b.inComment) p = commentEnd(p, end);
    while (p < end) {
        if (keptAt(p)) {
            // A held-back blank counts once a character follows it: the limit is the line's as delivered.
            if (length + (pendingBlank ? 1 : 0) >= kMaxLineLength) {
                *outcome = Outcome::TooLong;
                end = ++p;  // the stream stays just past the character refused
                break;
            }
            if (pendingBlank) {
                line[length++] = ' ';
                pendingBlank = false;
            }
            // As much of the run as the line has room for; a character beyond is refused above.
            const char* const room = end - p < kMaxLineLength - length ? end : p + (kMaxLineLength - length);
            do line[length++] = kBytes.text[static_cast<unsigned char>(*p++)];
            while (p < room && keptAt(p));
        } else if (blankAt(p)) {
            pendingBlank = length > 0;
            do p++;
            while (p < end && blankAt(p));
        } else {
            switch (kBytes.role[static_cast<unsigned char>(*p)]) {
                case ByteRole::Comment:
                    b.inComment = true;
                    p = commentEnd(p + 1, end);
                    break;
                case ByteRole::LineEnd:
                    *outcome = Outcome::LineEnded;
                    end = ++p;
                    break;
                case ByteRole::Zero:
                    *outcome = Outcome::ZeroByte;
                    end = ++p;
                    break;
                case ByteRole::Dropped:
                case ByteRole::Keep:
                case ByteRole::Blank: p++; break;
            }
        }
    }
    b.length = length;
    b.pendingBlank = pendingBlank;
    return static_cast<size_t>(p - start);
}

}  // namespace

ReadResult readSourceLine(AsmState& st, char* line, FILE* stream) {
    Builder b{line};
    for (;;) {
        Run run = bufferedRun(stream);
        char byte;
        const bool buffered = run.begin < run.end;
        if (!buffered) {
            // An empty buffer: getc_unlocked refills it, or tells the end of the file.
            const int c = getc_unlocked(stream);
            if (c == EOF) {
                if (ferror(stream)) return ReadFailed;
                if (b.length == 0) return EndOfFile;
                // A last line without a line feed is a line like any other.
                if (st.currentLine == kMaxLineCount) return TooManyLines;
                st.currentLine++;
                break;
            }
            byte = static_cast<char>(c);
            run = {&byte, &byte + 1};
        }
        Outcome outcome;
        const size_t used = take(b, run.begin, run.end, &outcome);
        if (buffered) consumeRun(stream, used);
        if (outcome == Outcome::Continues) continue;
        // Counted once a line ends, never past the largest count.
        if (st.currentLine == kMaxLineCount) return TooManyLines;
        st.currentLine++;
        if (outcome == Outcome::TooLong) return LineTooLong;
        if (outcome == Outcome::ZeroByte) return ZeroByte;
        if (b.length > 0) break;
        b = Builder{line};
    }
    line[b.length] = '\0';
    return LineRead;
}

}  // namespace qvek
