#include "output/load_file.h"

#include <cstdarg>
#include <cstring>

#include "core/messages.h"
#include "core/symbols.h"

namespace qvek {

void formatTimeStamp(char (&stamp)[kTimeStampSize], std::time_t when, bool utc) {
    std::tm parts{};
    const std::tm* converted = utc ? gmtime_r(&when, &parts) : localtime_r(&when, &parts);
    if (converted == nullptr || std::strftime(stamp, sizeof stamp, "%d-%b-%Y %H:%M:%S", &parts) == 0) stamp[0] = '\0';
}

bool opensLoadFile(const char* start, size_t length) {
    size_t line = 0;
    while (line < length && start[line] != '\n') line++;
    // A line cut short by the peek is longer than either first line.
    if (line == length && length >= kFirstLinePeek) return false;
    if (line > 0 && start[line - 1] == '\r') line--;  // a copy that went through a CRLF system
    const auto is = [&](const char* first) { return std::strlen(first) == line && std::memcmp(start, first, line) == 0; };
    return is(kConfigToolFirstLine) || is(kDebugHwFirstLine);
}

uint32_t patternSlotsWritten(const AsmState& st) {
    const uint32_t used = st.patternHighWater < kPatternSlots ? st.patternHighWater : kPatternSlots;
    if (st.outputFormat == DebugHwFormat) return used;
    return (used + 3) / 4 * 4;  // whole rows of four
}

uint32_t programWordsWritten(const AsmState& st) {
    // Not the quotient taken upward: a size that is a multiple of 4 gets one more word.
    const uint32_t words = st.programHighWater / 4 + 1;
    return words < kProgramNibbles / 4 ? words : kProgramNibbles / 4;
}

unsigned usagePercent(uint32_t count, uint32_t capacity) {
    return static_cast<unsigned>((static_cast<uint64_t>(count) * 100 + capacity - 1) / capacity);
}

void warnUnloadedPatterns(AsmState& st) {
    // Up to the last slot ever labelled only: the pages of the rest have never been written.
    for (uint32_t slot = patternSlotsWritten(st); slot < st.patternLabelEnd && slot < kPatternSlots; slot++) {
        const char* label = patternLabel(st, slot);
        if (label[0] == '\0') continue;
        warning(st,
                "\nWARNING:- Pattern memory value %s at address 0x%4.4x lies beyond the pattern segment of the load "
                "file and will not be loaded",
                label, 2 * slot);
    }
}

void emit(const AsmState& st, FILE* out, const char* format, ...) {
    va_list args;
    if (st.dumpListing) {
        va_start(args, format);
        vfprintf(st.console, format, args);
        va_end(args);
    }
    va_start(args, format);
    vfprintf(out, format, args);
    va_end(args);
}

}  // namespace qvek
