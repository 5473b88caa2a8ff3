#include "inspect/exports.h"

#include <cstring>
#include <memory>
#include <new>

#include "output/load_file.h"

namespace qvek {

namespace {

uint32_t programWord(const LoadImage& image, uint32_t w) {
    const uint8_t* nibble = &image.programImage[4 * w];
    return static_cast<uint32_t>(nibble[3] << 12 | nibble[2] << 8 | nibble[1] << 4 | nibble[0]);
}

// The memory as little-endian bytes: 2 per program word, 4 per pattern word.
uint32_t memoryBytes(const LoadImage& image, Memory memory) {
    return memory == Memory::Program ? 2 * image.programWords : 4 * image.patternSlots;
}

uint8_t memoryByte(const LoadImage& image, Memory memory, uint32_t at) {
    const uint32_t word = memory == Memory::Program ? programWord(image, at / 2) : image.patternValues[at / 4];
    const uint32_t shift = 8 * (memory == Memory::Program ? at % 2 : at % 4);
    return static_cast<uint8_t>(word >> shift);
}

}  // namespace

int writeLayout(const LoadImage& image, OutputFormat layout, FILE* out) {
    // Most of a megabyte: far too large for the stack.
    std::unique_ptr<AsmState> st(new (std::nothrow) AsmState());
    if (st == nullptr) return -1;
    st->outputFormat = layout;
    st->console = stderr;  // the writers echo only in dump mode, which stays off
    std::memcpy(st->programImage, image.programImage, sizeof st->programImage);
    // The writers derive the number of words from the used size: choose the
    // smallest size that makes them write every word the file holds (a
    // debug-hardware file without program words has no program segment).
    const uint32_t words = image.programWords;
    if (words > 0) st->programHighWater = words == 1 && layout == DebugHwFormat ? 1 : 4 * (words - 1);
    for (uint32_t k = 0; k < image.patternSlots && k < kPatternSlots; k++)
        st->patternMemory[k].value = image.patternValues[k];
    st->patternHighWater = image.patternSlots;
    st->patternPointer = image.patternSlots;
    const SegmentHeader& header = firstHeader(image);
    if (layout == DebugHwFormat)
        writeDebugHwFile(*st, out, header.sourceName, header.timeStamp);
    else
        writeConfigToolFile(*st, out, header.sourceName, header.timeStamp);
    return 0;
}

void writeReadmemh(const LoadImage& image, Memory memory, const char* loadName, FILE* out) {
    const SegmentHeader& header = firstHeader(image);
    if (memory == Memory::Program) {
        std::fprintf(out, "// Program memory of %s (source %s): %u %s of 16 bits from word 0\n", loadName,
                     header.sourceName, image.programWords, image.programWords == 1 ? "word" : "words");
        for (uint32_t w = 0; w < image.programWords; w++) std::fprintf(out, "%4.4x\n", programWord(image, w));
    } else {
        std::fprintf(out, "// Pattern memory of %s (source %s): %u %s of 32 bits from slot 0\n", loadName,
                     header.sourceName, image.patternSlots, image.patternSlots == 1 ? "word" : "words");
        for (uint32_t k = 0; k < image.patternSlots; k++) std::fprintf(out, "%8.8x\n", image.patternValues[k]);
    }
}

void writeIntelHex(const LoadImage& image, Memory memory, FILE* out) {
    const uint32_t bytes = memoryBytes(image, memory);
    for (uint32_t at = 0; at < bytes; at += kHexRecordBytes) {
        const uint32_t count = bytes - at < kHexRecordBytes ? bytes - at : kHexRecordBytes;
        // Count, address (two bytes), record type 00 (data), the data, then the checksum
        // that brings the sum of all bytes of the record to zero.
        unsigned sum = count + (at >> 8) + (at & 0xFF);
        std::fprintf(out, ":%2.2X%4.4X00", count, at);
        for (uint32_t i = 0; i < count; i++) {
            const uint8_t byte = memoryByte(image, memory, at + i);
            sum += byte;
            std::fprintf(out, "%2.2X", byte);
        }
        std::fprintf(out, "%2.2X\n", (0x100 - (sum & 0xFF)) & 0xFF);
    }
    std::fputs(":00000001FF\n", out);  // end of file
}

}  // namespace qvek
