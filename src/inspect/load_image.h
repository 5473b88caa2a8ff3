// Reading a load file back: which layout it has, what its headers say, the
// two memory images it holds, and where content appended behind the images
// begins. Owns LoadImage; reads no AsmState and reports nothing itself: a
// fault is described in the LoadImage for the caller to print.
#pragma once

#include <cstdint>
#include <cstdio>

#include "core/asm_state.h"
#include "output/load_file.h"

namespace qvek {

constexpr uint32_t kProgramWords = kProgramNibbles / 4;    // 16-bit words of program memory
constexpr uint32_t kPatternRowSlots = 4;                   // configuration tool: slots per pattern row
constexpr uint32_t kProgramRowWords = 8;                   // configuration tool: words per program row
constexpr uint32_t kLoadLineSize = kPathBufferSize + 256;  // a header line naming the longest path
constexpr uint32_t kGeneratorSize = 128;                   // "QIRV TOLVARE ASSEMBLER Version 5.0" and more
constexpr uint32_t kStampTextSize = 64;                    // the header's time stamp as written
constexpr uint32_t kLoadErrorSize = 256;                   // one fault description

// What one segment header says.
struct SegmentHeader {
    bool present = false;                   // the file has this segment
    uint32_t line = 0;                      // line of the header's first line
    char sourceName[kPathBufferSize] = {};  // "generated from [source file] NAME"
    char timeStamp[kStampTextSize] = {};    // the text after the last " on "
    char generator[kGeneratorSize] = {};    // the text after "via "
};

struct LoadImage {
    OutputFormat layout = ConfigToolFormat;        // told by the first line: "##" or "#"
    SegmentHeader pattern;                         // pattern segment header
    SegmentHeader program;                         // program segment header
    uint32_t patternSlots = 0;                     // slots the file holds, from slot 0
    uint32_t patternValues[kPatternSlots] = {};    // their values; zero beyond patternSlots
    uint32_t programWords = 0;                     // 16-bit words the file holds, from word 0
    uint8_t programImage[kProgramImageSize] = {};  // nibbles of those words; zero beyond them
    bool appended = false;                         // content follows the images
    uint32_t appendedLine = 0;                     // the line where it begins
    uint64_t appendedOffset = 0;                   // its byte offset from the start of the file
    uint64_t appendedSize = 0;                     // its size in bytes
    uint32_t lineCount = 0;                        // lines read (the appended ones included)
    uint32_t errorLine = 0;                        // line of the fault; 0 = the fault has no line
    char error[kLoadErrorSize] = {};               // the fault, empty when the file was read whole
    bool headerMissing = false;                    // the first line is no header: likely no load file at all
};

/// Reads a whole load file of either layout; returns 0, or -1 with errorLine and error set.
int readLoadFile(FILE* in, LoadImage& image);
/// Tells from the first line, which it reads, whether a stream holds a load file: "##" or "#" alone.
bool startsLikeLoadFile(FILE* in);
/// Returns the header that names the source and time: the first segment's.
const SegmentHeader& firstHeader(const LoadImage& image);
/// Copies the appended content of a seekable file to out; returns 0, or -1 when reading or seeking fails.
int copyAppended(const LoadImage& image, FILE* in, FILE* out);

}  // namespace qvek
