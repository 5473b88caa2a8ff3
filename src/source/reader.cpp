#include "source/reader.h"

#include <bit>
#include <cstddef>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

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

// A whole line at once, sixteen bytes at a time, where the machine has the
// instructions for it and the stream buffer can be read directly.
#if defined(__SSE2__) && defined(QVEK_READER_RUNS)
#define QVEK_READER_CHUNKS 1

// The bytes of v equal to c, each all ones.
__m128i bytesOf(__m128i v, char c) { return _mm_cmpeq_epi8(v, _mm_set1_epi8(c)); }

// Marks, a bit a byte, the bytes that are all ones.
unsigned marks(__m128i bytes) { return static_cast<unsigned>(_mm_movemask_epi8(bytes)); }

// The bytes of v below '!', each all ones: blanks, the line end and every other control byte.
__m128i bytesBelowBang(__m128i v) { return _mm_cmpeq_epi8(_mm_min_epu8(v, _mm_set1_epi8(' ')), v); }

// v as its bytes are stored: 'a' to 'z' upper-cased, a tab as a space, every
// other byte as it is.
__m128i storedBytes(__m128i v) {
    const __m128i fromA = _mm_sub_epi8(v, _mm_set1_epi8('a'));
    const __m128i lower = _mm_cmpeq_epi8(_mm_min_epu8(fromA, _mm_set1_epi8('z' - 'a')), fromA);
    const __m128i tab = _mm_cmpeq_epi8(v, _mm_set1_epi8('\t'));
    const __m128i flips =
        _mm_or_si128(_mm_and_si128(lower, _mm_set1_epi8('a' ^ 'A')), _mm_and_si128(tab, _mm_set1_epi8('\t' ^ ' ')));
    return _mm_xor_si128(v, flips);
}

__m128i chunkAt(const char* p) { return _mm_loadu_si128(reinterpret_cast<const __m128i*>(p)); }

// The chunks take spaces and tabs as blanks, every byte above ' ' but '*' as
// kept, '*' as a comment and the line feed as the line end, and leave every
// other byte to take; checked here against the byte table.
constexpr bool chunksAgree() {
    for (int c = 0; c < 256; c++) {
        const ByteRole role = kBytes.role[c];
        const auto text = static_cast<unsigned char>(kBytes.text[c]);
        if ((c == ' ' || c == '\t') && role != ByteRole::Blank) return false;
        if (c > ' ' && c != '*' && (role != ByteRole::Keep || text != (c >= 'a' && c <= 'z' ? c - 'a' + 'A' : c)))
            return false;
    }
    return kBytes.role[static_cast<unsigned char>('*')] == ByteRole::Comment && kBytes.lineEnd == '\n';
}
static_assert(chunksAgree(), "the chunk tests follow the byte table");

// Reads a line that lies whole in [p, end), with 48 bytes to spare behind its
// line end, holds nothing but kept characters, spaces and tabs before its line
// end or comment, and leaves room in the buffer for the whole chunks each piece
// is stored with. Returns the length of the line as stored, without a
// terminator, and sets *next past its line end; returns -1 for any other line,
// which take reads, leaving in the buffer what it has stored.
// The statement part is taken 32 bytes at a time, which holds most lines whole.
constexpr uint32_t kWindow = 32;
// A window's pieces together are at most kWindow long, and each is stored with
// at most 15 bytes beyond it: no store reaches past kWindow + 15 from where the
// window's first piece goes, and no line the windows store is too long, so take
// refuses those, at the very character.
constexpr uint32_t kWindowReach = kWindow + 15;
static_assert(kLineBufferSize - kWindowReach + kWindow <= kMaxLineLength, "a line stored by windows is not too long");

// Marks, a bit a byte, the bytes of the window at p that are all ones in the two chunk tests.
template <typename Test>
uint64_t windowMarks(const char* p, Test test) {
    return marks(test(chunkAt(p))) | uint64_t{marks(test(chunkAt(p + 16)))} << 16;
}

int quickLine(char* line, const char* p, const char* end, const char** next) {
    uint32_t n = 0;
    uint64_t carry = 0;  // 1 when the byte before this window is a kept character
    for (;;) {
        // Pieces are read up to 31 + 16 bytes into the window and stored up to kWindowReach past n.
        if (end - p < static_cast<ptrdiff_t>(kWindowReach + 1) || n + kWindowReach > kLineBufferSize) return -1;
        const uint64_t blanks = windowMarks(p, [](__m128i v) { return _mm_or_si128(bytesOf(v, ' '), bytesOf(v, '\t')); });
        const uint64_t unkept =
            windowMarks(p, [](__m128i v) { return _mm_or_si128(bytesBelowBang(v), bytesOf(v, '*')); });
        // The statement part in this window ends at the first byte neither kept nor blank.
        const auto size = static_cast<uint32_t>(std::countr_zero((unkept & ~blanks) | uint64_t{1} << kWindow));
        const uint64_t inside = (uint64_t{1} << size) - 1;
        const uint64_t kept = ~unkept & inside;
        // What is stored: the characters and, of each run of blanks after one, the
        // first blank. Runs of those are stored a chunk at a time, the rare one past a chunk in two.
        uint64_t stored = kept | (blanks & (kept << 1 | carry) & inside);
        while (stored != 0) {
            const auto start = static_cast<uint32_t>(std::countr_zero(stored));
            const auto length = static_cast<uint32_t>(std::countr_one(stored >> start));
            _mm_storeu_si128(reinterpret_cast<__m128i*>(line + n), storedBytes(chunkAt(p + start)));
            if (length > 16)
                _mm_storeu_si128(reinterpret_cast<__m128i*>(line + n + 16), storedBytes(chunkAt(p + start + 16)));
            n += length;
            stored &= ~uint64_t{0} << (start + length);
        }
        if (size < kWindow) {
            p += size;
            break;
        }
        carry = kept >> (kWindow - 1);
        p += kWindow;
    }
    // The blank stored after the last character trails.
    if (n != 0 && line[n - 1] == ' ') n--;
    if (*p == '*') {
        // Comments are short: their line end is looked for here, a chunk at a time, while it lies in the run.
        for (;; p += 16) {
            if (end - p < 16) {
                p = commentEnd(p, end);
                if (p == end) return -1;
                break;
            }
            if (const unsigned ends = marks(bytesOf(chunkAt(p), kBytes.lineEnd)); ends != 0) {
                p += std::countr_zero(ends);
                break;
            }
        }
    }
    if (*p != kBytes.lineEnd) return -1;
    *next = p + 1;
    return static_cast<int>(n);
}
#endif

// The digest with one more line folded in, a word of it at a time. Multiplying
// carries a word's bits only upwards; the rotation brings the high ones back
// down for the next word to spread. The length closes the line, so that lines
// cannot merge into each other.
uint64_t foldLine(uint64_t digest, const char* line, uint32_t length) {
    constexpr uint64_t kPrime = 1099511628211ull;
    const auto fold = [](uint64_t d, uint64_t word) { return std::rotl((d ^ word) * kPrime, 29); };
    uint32_t i = 0;
    for (; i + 8 <= length; i += 8) {
        uint64_t word;
        std::memcpy(&word, line + i, sizeof word);
        digest = fold(digest, word);
    }
    if (i < length) {
        // The last few characters in the low bytes of a word. Where those are the
        // first bytes in memory, a whole word is read and the rest masked off: it
        // lies in the buffer, since a line that ends short of a word ends before 120.
        uint64_t word = 0;
        if constexpr (std::endian::native == std::endian::little) {
            std::memcpy(&word, line + i, sizeof word);
            word &= ~0ull >> 8 * (8 - (length - i));
        } else {
            for (uint32_t k = 0; i + k < length; k++)
                word |= uint64_t{static_cast<unsigned char>(line[i + k])} << 8 * k;
        }
        digest = fold(digest, word);
    }
    return fold(digest, length);
}

// Ends a line of length characters and folds it into the digest.
ReadResult deliver(AsmState& st, char* line, uint32_t length) {
    line[length] = '\0';
    st.linesDigest = foldLine(st.linesDigest, line, length);
    return LineRead;
}

// Counts the line that just ended; false for the line past the largest count, which stays uncounted.
bool countLine(AsmState& st) {
    if (st.currentLine == kMaxLineCount) return false;
    st.currentLine++;
    return true;
}

// The line from its start, a run of the stream's buffer at a time, or a byte at
// a time through getc_unlocked: every line the chunks do not take.
__attribute__((noinline)) ReadResult readByRuns(AsmState& st, char* line, FILE* stream) {
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
                if (!countLine(st)) return TooManyLines;
                break;
            }
            byte = static_cast<char>(c);
            run = {&byte, &byte + 1};
        }
        Outcome outcome;
        const size_t used = take(b, run.begin, run.end, &outcome);
        if (buffered) consumeRun(stream, used);
        if (outcome == Outcome::Continues) continue;
        if (!countLine(st)) return TooManyLines;
        if (outcome == Outcome::TooLong) return LineTooLong;
        if (outcome == Outcome::ZeroByte) return ZeroByte;
        if (b.length > 0) break;
        b = Builder{line};
    }
    return deliver(st, line, b.length);
}

}  // namespace

// Inlined into both pass loops by link-time optimisation (see CMakeLists.txt).
__attribute__((always_inline)) ReadResult readSourceLine(AsmState& st, char* line, FILE* stream) {
#if defined(QVEK_READER_CHUNKS)
    // Lines taken whole where they can be; the first that cannot is read from its start by runs.
    for (;;) {
        const Run run = bufferedRun(stream);
        const char* next;
        // The line past the largest count is refused by the runs, never counted here.
        if (st.currentLine == kMaxLineCount) break;
        const int length = quickLine(line, run.begin, run.end, &next);
        if (length < 0) break;
        consumeRun(stream, static_cast<size_t>(next - run.begin));
        st.currentLine++;
        if (length > 0) return deliver(st, line, static_cast<uint32_t>(length));
    }
#endif
    return readByRuns(st, line, stream);
}

}  // namespace qvek
