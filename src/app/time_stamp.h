// When a load file says it was made: SOURCE_DATE_EPOCH, for builds that must
// give the same bytes every time, or else the time of the run in local time.
// Writes warningCount of AsmState (a malformed SOURCE_DATE_EPOCH).
#pragma once

#include <ctime>

#include "core/asm_state.h"
#include "output/load_file.h"

namespace qvek {

// The last instant whose stamp keeps its four-digit year: 31-Dec-9999 23:59:59 UTC.
constexpr long long kLatestSourceDate = 253402300799;

/// Reads a SOURCE_DATE_EPOCH value: decimal digits only, at most kLatestSourceDate; 0 and the instant, or -1.
int parseSourceDateEpoch(const char* text, std::time_t* when);
/// Builds the load-file stamp: epoch (null when unset) in UTC, else now in local time, warning when malformed.
void loadFileTimeStamp(AsmState& st, const char* epoch, std::time_t now, char (&stamp)[kTimeStampSize]);

}  // namespace qvek
