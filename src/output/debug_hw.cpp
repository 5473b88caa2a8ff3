// The debug-hardware configuration layout: every 16-bit word on its own line
// as "0x0001  address  word", pattern memory from 0x1000 (two addresses per
// slot), program memory from 0x4000.
#include "core/messages.h"
#include "output/load_file.h"

namespace qvek {

void writeDebugHwFile(const AsmState& st, FILE* out, const char* sourceName, const char* stamp) {
    if (st.patternHighWater != 0) {
        dump(st, "\n\n# COMMENT - PATTERN SEGMENT IMAGE");
        fprintf(out, "%s\n# COMMENT - PATTERN SEGMENT IMAGE\n# This file generated from %s on %s\n#", kDebugHwFirstLine,
                sourceName, stamp);
        fprintf(out, " via %s Version %s\n#", kAssemblerName, kAssemblerVersion);
        const uint32_t slots = patternSlotsWritten(st);
        for (uint32_t k = 0; k < slots; k++) {
            const uint32_t value = st.patternMemory[k].value;
            emit(st, out, "\n0x0001  0x%4.4x  0x%4.4x\n0x0001  0x%4.4x  0x%4.4x", kDebugHwPatternBase + 2 * k,
                 value & 0xFFFF, kDebugHwPatternBase + 2 * k + 1, value >> 16);
        }
        fputs("\n", out);
    }
    if (st.programHighWater != 0) {
        dump(st, "\n\n# COMMENT - PROGRAM SEGMENT IMAGE");
        fprintf(out, "%s\n# COMMENT - PROGRAM SEGMENT IMAGE\n# This file generated from %s on %s\n#", kDebugHwFirstLine,
                sourceName, stamp);
        fprintf(out, " via %s Version %s\n#", kAssemblerName, kAssemblerVersion);
        const uint32_t words = programWordsWritten(st);
        for (uint32_t w = 0; w < words; w++) {
            emit(st, out, "\n0x0001  0x%4.4x  0x%4.4x", kDebugHwProgramBase + w, programWord(st, w));
        }
        fputs("\n# END OF PROGRAM SEGMENT\n", out);
    }
}

}  // namespace qvek
