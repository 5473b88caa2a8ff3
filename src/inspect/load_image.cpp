#include "inspect/load_image.h"

#include <cctype>
#include <cstdarg>
#include <cstring>

#include "core/symbols.h"

namespace qvek {

namespace {

enum Segment : int { PatternSegment = 0, ProgramSegment = 1 };
const char* const kSegmentName[] = {"pattern", "program"};

// The fixed header texts of one layout.
struct LayoutText {
    const char* mark;            // first and last header line
    const char* segmentLine[2];  // the line that names the segment
    const char* generated;       // start of the line naming the source and the time
    const char* via;             // start of the line naming the assembler
};

const LayoutText kConfigToolText = {"##",
                                    {"## SEQUENCER PATTERN MEMORY SEGMENT", "## SEQUENCER PROGRAM MEMORY SEGMENT"},
                                    "## This file generated from source file ",
                                    "## via "};
const LayoutText kDebugHwText = {"#",
                                 {"# COMMENT - PATTERN SEGMENT IMAGE", "# COMMENT - PROGRAM SEGMENT IMAGE"},
                                 "# This file generated from ",
                                 "# via "};
constexpr char kCheckLine[] = "## (CHECK THE ADDRESS REFERENCE !!)";
const char* const kAddressKey[] = {"addr=ztkSeqPatMem", "addr=ztkSeqPgmMem"};
constexpr char kEndLine[] = "# END OF PROGRAM SEGMENT";
constexpr int kRowFields = 8;             // a configuration-tool row: 8 words, or 4 slots as two halves
constexpr int kDebugHwFields = 3;         // tag, address, word
constexpr size_t kCopyBufferSize = 4096;  // appended content is counted and copied in pieces of this size

// The load file line by line, with each line's place in the file.
struct LineReader {
    FILE* in = nullptr;
    uint32_t number = 0;    // number of the line in text, from 1
    uint64_t start = 0;     // byte offset of its first byte
    uint64_t consumed = 0;  // bytes read so far
    uint32_t length = 0;    // bytes in text
    bool tooLong = false;   // the line did not fit; text holds its start
    char text[kLoadLineSize];
};

struct Parser {
    LineReader r;
    LoadImage& image;
};

// Reads the next line without its line break (nor a carriage return before it); false at the end.
// A line longer than text holds is read no further (a file may never end): tooLong, and no line.
bool nextLine(LineReader& r) {
    r.start = r.consumed;
    r.length = 0;
    r.tooLong = false;
    bool any = false;
    int c;
    while ((c = getc(r.in)) != EOF) {
        r.consumed++;
        any = true;
        if (c == '\n') break;
        if (r.length + 1 == sizeof r.text) {
            r.tooLong = true;
            break;
        }
        r.text[r.length++] = static_cast<char>(c);
    }
    if (!any) return false;
    if (r.length > 0 && r.text[r.length - 1] == '\r') r.length--;
    r.text[r.length] = '\0';
    r.number++;
    return true;
}

int fault(Parser& p, uint32_t line, const char* format, ...) __attribute__((format(printf, 3, 4)));
int fault(Parser& p, uint32_t line, const char* format, ...) {
    p.image.errorLine = line;
    va_list args;
    va_start(args, format);
    vsnprintf(p.image.error, sizeof p.image.error, format, args);
    va_end(args);
    return -1;
}

bool startsWith(const char* text, const char* prefix) { return std::strncmp(text, prefix, std::strlen(prefix)) == 0; }

bool isBlank(char c) { return c == ' ' || c == '\t'; }

// The line is the expected text, perhaps with trailing blanks.
bool isLine(const char* text, const char* expected) {
    if (!startsWith(text, expected)) return false;
    for (text += std::strlen(expected); *text != '\0'; text++)
        if (!isBlank(*text)) return false;
    return true;
}

bool startsWithHex(const char* text) { return text[0] == '0' && (text[1] == 'x' || text[1] == 'X'); }

int segmentNamed(const char* text, const LayoutText& layout) {
    for (int s = PatternSegment; s <= ProgramSegment; s++)
        if (isLine(text, layout.segmentLine[s])) return s;
    return -1;
}

int lineTooLong(Parser& p) { return fault(p, p.r.number, "Line longer than %u characters", kLoadLineSize - 1); }

// A fault found while trying whether a line goes on with the images, which it does not.
void forgetFault(Parser& p) {
    p.image.errorLine = 0;
    p.image.error[0] = '\0';
}

// Reads the next header line; fails at the end of the file or on an over-long line.
int headerLine(Parser& p, Segment segment) {
    if (!nextLine(p.r))
        return fault(p, p.r.number, "End of file inside the %s segment header (truncated file?)",
                     kSegmentName[segment]);
    if (p.r.tooLong) return lineTooLong(p);
    return 0;
}

int expectLine(Parser& p, Segment segment, const char* expected) {
    if (headerLine(p, segment) < 0) return -1;
    if (!isLine(p.r.text, expected))
        return fault(p, p.r.number, "Expected '%s' in the %s segment header", expected, kSegmentName[segment]);
    return 0;
}

// "... generated from [source file] NAME on STAMP": the name may hold blanks, the stamp does not hold " on ".
int readGeneratedLine(Parser& p, Segment segment, const LayoutText& layout, SegmentHeader& header) {
    if (headerLine(p, segment) < 0) return -1;
    const char* text = p.r.text;
    if (!startsWith(text, layout.generated))
        return fault(p, p.r.number, "Expected '%s...' in the %s segment header", layout.generated,
                     kSegmentName[segment]);
    const char* name = text + std::strlen(layout.generated);
    const char* on = nullptr;
    for (const char* q = std::strstr(name, " on "); q != nullptr; q = std::strstr(q + 1, " on ")) on = q;
    if (on == nullptr)
        return fault(p, p.r.number, "No ' on ' before the time stamp in the %s segment header", kSegmentName[segment]);
    const size_t nameLength = static_cast<size_t>(on - name);
    if (nameLength >= sizeof header.sourceName)
        return fault(p, p.r.number, "Source name longer than %u characters", kMaxPathLength);
    std::memcpy(header.sourceName, name, nameLength);
    header.sourceName[nameLength] = '\0';
    copyText(header.timeStamp, sizeof header.timeStamp, on + 4);
    return 0;
}

// The header after its first two lines; the caller has read the mark and the segment line.
int readHeaderRest(Parser& p, Segment segment, const LayoutText& layout, SegmentHeader& header) {
    header.present = true;
    header.line = p.r.number - 1;
    const bool configTool = &layout == &kConfigToolText;
    if (configTool && expectLine(p, segment, kCheckLine) < 0) return -1;
    if (readGeneratedLine(p, segment, layout, header) < 0) return -1;
    if (headerLine(p, segment) < 0) return -1;
    if (!startsWith(p.r.text, layout.via))
        return fault(p, p.r.number, "Expected '%s...' in the %s segment header", layout.via, kSegmentName[segment]);
    copyText(header.generator, sizeof header.generator, p.r.text + std::strlen(layout.via));
    if (expectLine(p, segment, layout.mark) < 0) return -1;
    if (!configTool) return 0;
    if (headerLine(p, segment) < 0) return -1;
    const char* key = kAddressKey[segment];
    const char after = p.r.text[std::strlen(key)];
    if (!startsWith(p.r.text, key) || !(after == '\0' || isBlank(after)))
        return fault(p, p.r.number, "Expected '%s' closing the %s segment header", key, kSegmentName[segment]);
    return 0;
}

// Splits text in place at blanks; returns the number of fields, of which the first max are kept.
int splitFields(char* text, char* fields[], int max) {
    int count = 0;
    for (char* p = text; *p != '\0';) {
        while (isBlank(*p)) p++;
        if (*p == '\0') break;
        if (count < max) fields[count] = p;
        count++;
        while (*p != '\0' && !isBlank(*p)) p++;
        if (*p != '\0') *p++ = '\0';
    }
    return count;
}

// "0x" and exactly four hexadecimal digits.
int readWord(Parser& p, const char* field, int number, uint32_t& value) {
    if (!startsWithHex(field)) return fault(p, p.r.number, "Field %d '%s' does not begin with 0x", number, field);
    const char* digits = field + 2;
    value = 0;
    for (const char* d = digits; *d != '\0'; d++) {
        const unsigned char c = static_cast<unsigned char>(*d);
        if (!std::isxdigit(c)) {
            if (std::isprint(c))
                return fault(p, p.r.number, "Bad hexadecimal digit '%c' in field %d '%s'", c, number, field);
            return fault(p, p.r.number, "Bad hexadecimal digit (byte 0x%2.2x) in field %d", c, number);
        }
        value = value * 16 + static_cast<uint32_t>(std::isdigit(c) ? c - '0' : std::tolower(c) - 'a' + 10);
    }
    const size_t count = std::strlen(digits);
    if (count != 4)
        return fault(p, p.r.number, "Field %d '%s' has %zu hexadecimal digits instead of 4", number, field, count);
    return 0;
}

// One configuration-tool row of eight four-digit fields.
int readRow(Parser& p, Segment segment, uint32_t (&values)[kRowFields]) {
    if (p.r.tooLong) return lineTooLong(p);
    char* fields[kRowFields];
    const int count = splitFields(p.r.text, fields, kRowFields);
    if (count != kRowFields)
        return fault(p, p.r.number, "%s row of %d fields instead of %d",
                     segment == PatternSegment ? "Pattern" : "Program", count, kRowFields);
    for (int i = 0; i < kRowFields; i++)
        if (readWord(p, fields[i], i + 1, values[i]) < 0) return -1;
    return 0;
}

void storeProgramWord(LoadImage& image, uint32_t word, uint32_t value) {
    for (uint32_t n = 0; n < 4; n++) image.programImage[4 * word + n] = static_cast<uint8_t>((value >> (4 * n)) & 0xF);
}

// The current line begins the appended content.
void appendedFrom(LoadImage& image, uint32_t line, uint64_t offset) {
    image.appended = true;
    image.appendedLine = line;
    image.appendedOffset = offset;
}

int readConfigTool(Parser& p) {
    LoadImage& image = p.image;
    if (headerLine(p, PatternSegment) < 0) return -1;
    int segment = segmentNamed(p.r.text, kConfigToolText);
    if (segment < 0)
        return fault(p, p.r.number, "Expected '%s' or '%s'", kConfigToolText.segmentLine[0],
                     kConfigToolText.segmentLine[1]);
    if (segment == PatternSegment) {
        if (readHeaderRest(p, PatternSegment, kConfigToolText, image.pattern) < 0) return -1;
        for (;;) {
            if (!nextLine(p.r))
                return fault(p, p.r.number, "End of file after the pattern rows: the program segment is missing");
            if (p.r.tooLong) return lineTooLong(p);
            if (isLine(p.r.text, kConfigToolText.mark)) break;
            if (!startsWithHex(p.r.text))
                return fault(p, p.r.number, "Expected a pattern row or the program segment header '##'");
            if (image.patternSlots >= kPatternSlots)
                return fault(p, p.r.number, "More than %u pattern slots", kPatternSlots);
            uint32_t halves[kRowFields];
            if (readRow(p, PatternSegment, halves) < 0) return -1;
            for (uint32_t j = 0; j < kPatternRowSlots; j++)
                image.patternValues[image.patternSlots++] = halves[2 * j] | halves[2 * j + 1] << 16;
        }
        if (headerLine(p, ProgramSegment) < 0) return -1;
        segment = segmentNamed(p.r.text, kConfigToolText);
        if (segment != ProgramSegment)
            return fault(p, p.r.number, "Expected '%s' after the pattern rows", kConfigToolText.segmentLine[1]);
    }
    if (readHeaderRest(p, ProgramSegment, kConfigToolText, image.program) < 0) return -1;
    // The rows have no end marker. qvek writes one row at least, which must
    // read; after it, the first line that is no whole row (or any line after
    // a full program memory) begins the appended content, whatever it holds.
    while (nextLine(p.r)) {
        uint32_t words[kRowFields];
        const bool row = image.programWords < kProgramWords && startsWithHex(p.r.text);
        if (row && readRow(p, ProgramSegment, words) == 0) {
            for (uint32_t value : words) storeProgramWord(image, image.programWords++, value);
            continue;
        }
        if (row && image.programWords == 0) return -1;
        forgetFault(p);
        appendedFrom(image, p.r.number, p.r.start);
        return 0;
    }
    return 0;
}

// One debug-hardware data line: tag, the expected address, a 16-bit word.
int readDebugHwLine(Parser& p, uint32_t expectedAddress, uint32_t& value) {
    if (p.r.tooLong) return lineTooLong(p);
    char* fields[kDebugHwFields];
    const int count = splitFields(p.r.text, fields, kDebugHwFields);
    if (count != kDebugHwFields)
        return fault(p, p.r.number, "Data line of %d fields instead of %d", count, kDebugHwFields);
    uint32_t tag, address;
    if (readWord(p, fields[0], 1, tag) < 0 || readWord(p, fields[1], 2, address) < 0 ||
        readWord(p, fields[2], 3, value) < 0)
        return -1;
    if (tag != kDebugHwTag) return fault(p, p.r.number, "First field 0x%4.4x instead of 0x%4.4x", tag, kDebugHwTag);
    if (address != expectedAddress)
        return fault(p, p.r.number, "Address 0x%4.4x out of order (0x%4.4x expected)", address, expectedAddress);
    return 0;
}

int lacksHighHalf(Parser& p, uint32_t line, uint32_t halves) {
    return fault(p, line, "Pattern slot at host address 0x%4.4x lacks its high half (address 0x%4.4x)", halves - 1,
                 kDebugHwPatternBase + halves);
}

// The pattern lines, up to the program header; returns 1 when a program segment follows, 0 when not.
// qvek writes one slot at least, which must read. After it, a line that does
// not go on with the next half begins the appended content, or the low half
// before it when that half's slot is not whole.
int readDebugHwPatterns(Parser& p) {
    LoadImage& image = p.image;
    uint32_t halves = 0;
    uint32_t lowLine = 0;    // line of the last low half
    uint64_t lowOffset = 0;  // and its byte offset
    for (;;) {
        const bool more = nextLine(p.r);
        const uint32_t line = p.r.number;
        const uint64_t offset = p.r.start;
        if (more && !p.r.tooLong && isLine(p.r.text, kDebugHwText.mark)) {
            // The program header, unless the appended content begins with a '#' line.
            if (nextLine(p.r) && !p.r.tooLong && segmentNamed(p.r.text, kDebugHwText) == ProgramSegment)
                return halves % 2 == 0 ? 1 : lacksHighHalf(p, line, halves);
        } else if (more && halves < 2 * kPatternSlots && startsWithHex(p.r.text)) {
            uint32_t half;
            if (readDebugHwLine(p, kDebugHwPatternBase + halves, half) == 0) {
                image.patternValues[halves / 2] |= halves % 2 == 0 ? half : half << 16;
                if (halves % 2 == 0) lowLine = line, lowOffset = offset;
                halves++;
                image.patternSlots = (halves + 1) / 2;
                continue;
            }
            if (halves < 2) return -1;
            forgetFault(p);
        }
        if (halves == 1) return lacksHighHalf(p, line, halves);
        if (halves % 2 != 0) {
            halves--;
            image.patternValues[halves / 2] = 0;
            image.patternSlots = halves / 2;
            appendedFrom(image, lowLine, lowOffset);
        } else if (more) {
            appendedFrom(image, line, offset);
        }
        return 0;
    }
}

int readDebugHw(Parser& p) {
    LoadImage& image = p.image;
    if (headerLine(p, PatternSegment) < 0) return -1;
    const int segment = segmentNamed(p.r.text, kDebugHwText);
    if (segment < 0)
        return fault(p, p.r.number, "Expected '%s' or '%s'", kDebugHwText.segmentLine[0], kDebugHwText.segmentLine[1]);
    if (segment == PatternSegment) {
        if (readHeaderRest(p, PatternSegment, kDebugHwText, image.pattern) < 0) return -1;
        const int program = readDebugHwPatterns(p);
        if (program <= 0) return program;
    }
    if (readHeaderRest(p, ProgramSegment, kDebugHwText, image.program) < 0) return -1;
    for (;;) {
        if (!nextLine(p.r))
            return fault(p, p.r.number, "End of file inside the program segment: '%s' is missing (truncated file?)",
                         kEndLine);
        if (p.r.tooLong) return lineTooLong(p);
        if (isLine(p.r.text, kEndLine)) break;
        if (!startsWithHex(p.r.text)) return fault(p, p.r.number, "Expected a program line or '%s'", kEndLine);
        if (image.programWords >= kProgramWords)
            return fault(p, p.r.number, "More than %u program words", kProgramWords);
        uint32_t word;
        if (readDebugHwLine(p, kDebugHwProgramBase + image.programWords, word) < 0) return -1;
        storeProgramWord(image, image.programWords++, word);
    }
    if (nextLine(p.r)) appendedFrom(image, p.r.number, p.r.start);
    return 0;
}

}  // namespace

int readLoadFile(FILE* in, LoadImage& image) {
    image = LoadImage();
    Parser p{LineReader(), image};
    p.r.in = in;
    int result;
    if (!nextLine(p.r)) {
        result = std::ferror(in) ? fault(p, 0, "Read error")
                                 : fault(p, 0,
                                         "Empty file, without a header (a failed assembly leaves its target empty, as "
                                         "does the debug-hardware layout of a source without any words)");
    } else if (p.r.tooLong) {
        result = lineTooLong(p);
    } else if (isLine(p.r.text, kConfigToolText.mark)) {
        image.layout = ConfigToolFormat;
        result = readConfigTool(p);
    } else if (isLine(p.r.text, kDebugHwText.mark)) {
        image.layout = DebugHwFormat;
        result = readDebugHw(p);
    } else {
        image.headerMissing = true;
        result = fault(p, 1,
                       "No load-file header: the first line is neither '##' (configuration-tool layout) nor "
                       "'#' (debug-hardware layout)");
    }
    if (result == 0 && image.appended) {
        char buffer[kCopyBufferSize];
        size_t n;
        while ((n = std::fread(buffer, 1, sizeof buffer, in)) > 0) p.r.consumed += n;
        image.appendedSize = p.r.consumed - image.appendedOffset;
    }
    if (result == 0 && std::ferror(in)) result = fault(p, p.r.number, "Read error");
    return result;
}

bool startsLikeLoadFile(FILE* in) {
    LineReader r;
    r.in = in;
    return nextLine(r) && !r.tooLong && (isLine(r.text, kConfigToolText.mark) || isLine(r.text, kDebugHwText.mark));
}

const SegmentHeader& firstHeader(const LoadImage& image) {
    return image.pattern.present ? image.pattern : image.program;
}

int copyAppended(const LoadImage& image, FILE* in, FILE* out) {
    if (!image.appended) return 0;
    if (fseeko(in, static_cast<off_t>(image.appendedOffset), SEEK_SET) != 0) return -1;
    char buffer[kCopyBufferSize];
    uint64_t left = image.appendedSize;
    while (left > 0) {
        const size_t want = left < sizeof buffer ? static_cast<size_t>(left) : sizeof buffer;
        const size_t n = std::fread(buffer, 1, want, in);
        if (n == 0) return -1;
        std::fwrite(buffer, 1, n, out);
        left -= n;
    }
    return 0;
}

}  // namespace qvek
