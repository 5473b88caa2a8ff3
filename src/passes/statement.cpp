#include "passes/statement.h"

#include <bit>
#include <cstring>
#include <new>
#include <type_traits>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "core/keywords.h"
#include "core/messages.h"
#include "core/state_memory.h"
#include "core/symbols.h"
#include "passes/observed.h"
#include "source/files.h"
#include "source/includes.h"
#include "source/opener.h"
#include "source/reader.h"

namespace qvek {

namespace {

// The line reader leaves single spaces between tokens; a vertical tab is the
// one other white-space character that survives it, and it separates too.
constexpr bool isSeparator(char c) { return c == ' ' || c == '\v'; }

// Where a token stops: at a separator or at the end of the line.
struct TokenEnds {
    bool ends[256] = {};
    constexpr TokenEnds() {
        for (int c = 0; c < 256; c++) ends[c] = c == '\0' || isSeparator(static_cast<char>(c));
    }
    constexpr bool at(char c) const { return ends[static_cast<unsigned char>(c)]; }
};
constexpr TokenEnds kTokenEnds;

#if defined(__SSE2__)
// The first byte at or after p where a token stops, sixteen bytes at a time:
// the line's buffer holds kLineSlack readable bytes past its terminator.
static_assert(kLineSlack >= 15, "a chunk that begins at the terminator lies in the buffer");
const char* tokenEnd(const char* p) {
    static_assert(kTokenEnds.at(' ') && kTokenEnds.at('\v') && kTokenEnds.at('\0'), "the bytes the chunks test");
    for (;; p += 16) {
        const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
        const __m128i ends = _mm_or_si128(_mm_or_si128(_mm_cmpeq_epi8(v, _mm_set1_epi8(' ')),
                                                       _mm_cmpeq_epi8(v, _mm_set1_epi8('\v'))),
                                          _mm_cmpeq_epi8(v, _mm_setzero_si128()));
        if (const unsigned marks = static_cast<unsigned>(_mm_movemask_epi8(ends)); marks != 0)
            return p + std::countr_zero(marks);
    }
}
#else
const char* tokenEnd(const char* p) {
    while (!kTokenEnds.at(*p)) p++;
    return p;
}
#endif

// Ends the token at *cursor, after any separators, with a zero byte where it
// stands, points field at it, sets *length and moves *cursor past it. Returns
// false, the field left as it was, when the token is longer than kMaxTokenLength.
bool takeToken(char** cursor, const char** field, uint8_t* length) {
    char* p = *cursor;
    while (isSeparator(*p)) p++;
    char* const end = const_cast<char*>(tokenEnd(p));
    if (end - p > kMaxTokenLength) return false;
    static_assert(kMaxTokenLength <= UINT8_MAX, "a token's length fits its field");
    *field = p;
    *length = static_cast<uint8_t>(end - p);
    // The line's own end stays where the next token is looked for.
    *cursor = *end != '\0' ? end + 1 : end;
    *end = '\0';
    return true;
}

int tokenTooLong(AsmState& st) {
    return error(st, "\nERROR:- Token longer than %u characters on line %3.3d in file %s. Assembly stopped.",
                 kMaxTokenLength, st.currentLine, st.includeNames[0]);
}

// What each file open takes: its stream buffer, the line read from it and the line's tokens.
struct FileBuffers {
    char stream[kStreamBufferSize];
    char line[kLineSpace];
    Statement statement;
};
// A state from newAsmState holds the buffers of every file it can have open in
// the room behind it; a deeper file would take its buffers from malloc.
static_assert(sizeof(AsmState) + kMaxIncludeFiles * (sizeof(FileBuffers) + kSpareAlignment) <= kStateBlockSize,
              "every file's buffers fit behind the state");
static_assert(std::is_trivially_destructible_v<FileBuffers>, "released without a destructor");

}  // namespace

int readFile(AsmState& st, FILE* stream, StatementLoop loop) {
    if (st.observer != nullptr) observeFile(st, EventKind::FileEntered, true);
    void* const memory = st.allocate(st, sizeof(FileBuffers));
    FileBuffers* const b = memory != nullptr ? new (memory) FileBuffers : nullptr;
    int result;
    if (b == nullptr || setvbuf(stream, b->stream, _IOFBF, kStreamBufferSize) != 0)
        result = error(st, "\nERROR:- Out of memory for the line buffers reading file %s !", st.includeNames[0]);
    else {
        // The slack past a line's terminator is read, never used: defined once here.
        std::memset(b->line, 0, kLineSpace);
        result = loop(st, stream, b->line, b->statement);
    }
    if (st.observer != nullptr) observeFile(st, EventKind::FileLeft, result >= 0);
    // Closed before its buffer is released.
    std::fclose(stream);
    if (memory != nullptr) st.release(st, memory);
    popInclude(st);
    return result;
}

// Inlined into both pass loops by link-time optimisation (see CMakeLists.txt).
__attribute__((always_inline)) int nextSourceLine(AsmState& st, char* line, FILE* stream) {
    switch (readSourceLine(st, line, stream)) {
        case LineRead: return 1;
        case EndOfFile: return 0;
        case LineTooLong:
            return error(st, "\nERROR:- Line %3.3d in file %s is longer than %u characters. Assembly stopped.",
                         st.currentLine, st.includeNames[0], kMaxLineLength);
        case ZeroByte:
            return error(st, "\nERROR:- Line %3.3d in file %s holds a zero byte. Assembly stopped.", st.currentLine,
                         st.includeNames[0]);
        case TooManyLines:
            return error(st,
                         "\nERROR:- Line %3.3d in file %s is the last a line number can count, and the file goes on. "
                         "Assembly stopped.",
                         kMaxLineCount, st.includeNames[0]);
        case ReadFailed: break;
    }
    return error(st, "\nERROR:- Could not read file %s after line %3.3d !", st.includeNames[0], st.currentLine);
}

int splitHead(AsmState& st, char* line, Statement& s) {
    s.label = "";
    s.word = "";
    s.wordLength = 0;
    for (const char*& operand : s.operands) operand = "";
    s.operandCount = 0;
    s.hasLabel = line[0] == '#';
    s.rest = line;
    uint8_t labelLength;
    if (s.hasLabel && !takeToken(&s.rest, &s.label, &labelLength)) return tokenTooLong(st);
    if (!takeToken(&s.rest, &s.word, &s.wordLength)) return tokenTooLong(st);
    return 0;
}

int splitOperands(AsmState& st, Statement& s, uint32_t last) {
    if (last > kMaxOperands) last = kMaxOperands;
    // Past the end of the line every further token is empty, as the fields already are.
    while (s.operandCount < last && *s.rest != '\0') {
        const uint32_t next = s.operandCount + 1;
        if (!takeToken(&s.rest, &s.operands[next], &s.operandLengths[next])) return tokenTooLong(st);
        s.operandCount++;
    }
    return 0;
}

int splitStatement(AsmState& st, char* line, Statement& s, uint32_t operands, uint32_t labelOperands) {
    if (splitHead(st, line, s) < 0) return -1;
    return splitOperands(st, s, s.hasLabel ? labelOperands : operands);
}

// Out of line: the pass loops carry only the test of the failure and the call.
__attribute__((noinline)) bool goesOnAfterFailure(AsmState& st, const Statement& s, uint32_t start) {
    if (st.resume == nullptr || !st.resume(st.resumeContext, st)) return false;
    // A word the split never reached takes no room; an instruction takes its whole format, as in a clean pass.
    const InstructionFormat* format = isShortWord(s) ? nullptr : instructionFormat(lookupKeyword(s.word, s.wordLength));
    st.programCounter = start + (format != nullptr ? format->size : 0);
    return true;
}

namespace {

bool isTarget(const AsmState& st, const FileIdentity& id) {
    return st.targetKnown && id.known && id.device == st.targetDevice && id.inode == st.targetInode;
}

}  // namespace

bool isTargetFile(const AsmState& st, FILE* stream) { return st.targetKnown && isTarget(st, identityOf(stream)); }

int openInclude(AsmState& st, const char* name, FILE** stream) {
    // Opening a pipe waits for a writer, and pass 2 would wait for a second one; a device may read otherwise.
    *stream = nullptr;
    // A name that was a plain file when last included is opened without asking first what it is, which
    // costs a walk of its path: the opening does not wait, and what it opened is checked instead.
    const bool again = st.opener == nullptr && std::strcmp(name, st.lastRegularInclude) == 0;
    const char* kind = nullptr;
    FileIdentity id;
    if (again)
        *stream = reopenRegular(name, &kind, &id);
    else if ((kind = kindRefused(st, name)) == nullptr && (*stream = openSource(st, name)) != nullptr)
        id = identityOf(*stream);
    if (kind != nullptr)
        return error(st,
                     "\nERROR:- Include file %s on line %3.3d in file %s is %s, which cannot be read on both "
                     "passes !",
                     name, st.currentLine, st.includeNames[0], kind);
    if (*stream == nullptr) return error(st, "\nERROR:- Could not open include file %s !", name);
    if (isTarget(st, id)) {
        std::fclose(*stream);
        st.targetIncluded = true;
        return error(st, "\nERROR:- Include file %s on line %3.3d in file %s is the target file !", name,
                     st.currentLine, st.includeNames[0]);
    }
    if (pushInclude(st, name) < 0) {
        std::fclose(*stream);
        return error(st, "\nERROR:- INCLUDE Level Overflow. Only 16 levels supported !");
    }
    if (st.opener == nullptr) copyText(st.lastRegularInclude, kPathBufferSize, id.regular ? name : "");
    return 0;
}

}  // namespace qvek
