// The two load-file layouts and what they share: the time stamp, the echo of
// the data rows in dump mode, and how much pattern memory each layout loads.
// The writers only read AsmState; warnUnloadedPatterns writes warningCount.
#pragma once

#include <cstdint>
#include <cstdio>
#include <ctime>

#include "core/asm_state.h"

namespace qvek {

constexpr char kAssemblerName[] = "QIRV TOLVARE ASSEMBLER";
constexpr char kAssemblerVersion[] = "5.0";
constexpr size_t kTimeStampSize = 26;  // "05-Mar-2024 14:07:09" and room to spare

// The first line of each layout, which tells a load file from any other file before it is replaced.
constexpr char kConfigToolFirstLine[] = "##";
constexpr char kDebugHwFirstLine[] = "#";
constexpr size_t kFirstLinePeek = 4;  // bytes enough to hold either first line and its line break

// The debug-hardware layout's single address map of 16-bit words.
constexpr unsigned kDebugHwTag = 0x0001;          // first field of every data line
constexpr unsigned kDebugHwPatternBase = 0x1000;  // slot k at 0x1000 + 2k (low half) and the next (high)
constexpr unsigned kDebugHwProgramBase = 0x4000;  // program word w at 0x4000 + w

/// Formats an instant as "%d-%b-%Y %H:%M:%S", in local time or in UTC.
void formatTimeStamp(char (&stamp)[kTimeStampSize], std::time_t when, bool utc);

/// Writes the debug-hardware layout: one line per 16-bit word.
void writeDebugHwFile(const AsmState& st, FILE* out, const char* sourceName, const char* stamp);
/// Writes the configuration-tool layout: rows of four pattern words, then eight program words.
void writeConfigToolFile(const AsmState& st, FILE* out, const char* sourceName, const char* stamp);

/// Tells whether the first bytes of a file (at most kFirstLinePeek) open the first line of either layout.
bool opensLoadFile(const char* start, size_t length);

/// Returns how many pattern slots, from slot 0, the selected layout writes.
uint32_t patternSlotsWritten(const AsmState& st);
/// Returns how many 16-bit program words both layouts write: programHighWater / 4 + 1.
uint32_t programWordsWritten(const AsmState& st);
/// Returns program word w, its four nibbles (0 to 15 each) with the first stored as the least significant.
inline unsigned programWord(const AsmState& st, uint32_t w) {
    const uint8_t* n = &st.programImage[4 * w];
    return static_cast<unsigned>(n[3] << 12 | n[2] << 8 | n[1] << 4 | n[0]);
}
/// Returns count as a percentage of capacity, taken up to the next whole number, as the closing report shows it.
unsigned usagePercent(uint32_t count, uint32_t capacity);
/// Warns once for each labelled pattern word in a slot the load file will not reach.
void warnUnloadedPatterns(AsmState& st);

/// Writes a data piece to the load file, echoing it first to the console in dump mode.
void emit(const AsmState& st, FILE* out, const char* format, ...) __attribute__((format(printf, 3, 4)));

}  // namespace qvek
