// The configuration-tool layout: a pattern segment of four words to a row, as
// low and high halves, then a program segment of eight 16-bit words to a row,
// each opened by its "##" header and its addr= line.
#include "core/messages.h"
#include "output/load_file.h"

namespace qvek {

namespace {

void writeHeader(FILE* out, const char* segment, const char* address, const char* memory, const char* sourceName,
                 const char* stamp) {
    fputs(kConfigToolFirstLine, out);
    fprintf(out, "\n## SEQUENCER %s MEMORY SEGMENT", segment);
    fprintf(out, "\n## (CHECK THE ADDRESS REFERENCE !!)");
    fprintf(out, "\n## This file generated from source file %s on %s\n##", sourceName, stamp);
    fprintf(out, " via %s Version %s\n##", kAssemblerName, kAssemblerVersion);
    fprintf(out, "\naddr=%s        # %s memory address\n", address, memory);
}

}  // namespace

void writeConfigToolFile(const AsmState& st, FILE* out, const char* sourceName, const char* stamp) {
    // Written whenever pattern words were counted, even if a last ORG PAT moved the pointer to 0.
    if (st.patternHighWater != 0) {
        dump(st, "\n Pattern Memory Segment Data\n");
        writeHeader(out, "PATTERN", "ztkSeqPatMem", "pattern", sourceName, stamp);
        const uint32_t slots = patternSlotsWritten(st);
        // A row to a call: formatting costs most in starting, not in the conversions.
        for (uint32_t k = 0; k < slots; k += 4) {
            const PatternWord* word = &st.patternMemory[k];
            emit(st, out, "0x%4.4x 0x%4.4x 0x%4.4x 0x%4.4x 0x%4.4x 0x%4.4x 0x%4.4x 0x%4.4x \n", word[0].value & 0xFFFF,
                 word[0].value >> 16, word[1].value & 0xFFFF, word[1].value >> 16, word[2].value & 0xFFFF,
                 word[2].value >> 16, word[3].value & 0xFFFF, word[3].value >> 16);
        }
        dump(st, "\n");
    }

    dump(st, "\n Program Memory Segment Data\n");
    writeHeader(out, "PROGRAM", "ztkSeqPgmMem", "program", sourceName, stamp);
    const uint32_t words = programWordsWritten(st);
    for (uint32_t w = 0; w < words; w += 8) {
        // A word's four digits as one conversion: each nibble is below 16, so "%4.4x" writes what four "%x" would.
        emit(st, out, "0x%4.4x 0x%4.4x 0x%4.4x 0x%4.4x 0x%4.4x 0x%4.4x 0x%4.4x 0x%4.4x \n", programWord(st, w),
             programWord(st, w + 1), programWord(st, w + 2), programWord(st, w + 3), programWord(st, w + 4),
             programWord(st, w + 5), programWord(st, w + 6), programWord(st, w + 7));
    }
}

}  // namespace qvek
