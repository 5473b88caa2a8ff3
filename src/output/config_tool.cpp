// The configuration-tool layout: a pattern segment of four words to a row, as
// low and high halves, then a program segment of eight 16-bit words to a row,
// each opened by its "##" header and its addr= line.
#include "core/messages.h"
#include "output/load_file.h"

namespace qvek {

namespace {

void writeHeader(FILE* out, const char* segment, const char* address, const char* memory, const char* sourceName,
                 const char* stamp) {
    fprintf(out, "##");
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
        for (uint32_t k = 0; k < slots; k += 4) {
            for (uint32_t j = k; j < k + 4; j++) {
                const uint32_t value = st.patternMemory[j].value;
                emit(st, out, "0x%4.4x 0x%4.4x ", value & 0xFFFF, value >> 16);
            }
            emit(st, out, "\n");
        }
        dump(st, "\n");
    }

    dump(st, "\n Program Memory Segment Data\n");
    writeHeader(out, "PROGRAM", "ztkSeqPgmMem", "program", sourceName, stamp);
    const uint32_t words = programWordsWritten(st);
    for (uint32_t w = 0; w < words;) {
        for (int i = 0; i < 8; i++, w++) {
            const uint8_t* nibble = &st.programImage[4 * w];
            emit(st, out, "0x%x%x%x%x ", nibble[3], nibble[2], nibble[1], nibble[0]);
        }
        emit(st, out, "\n");
    }
}

}  // namespace qvek
