// Console output: the warning and error procedures that every part reports
// through, and the dump output that option d governs on its own.
// Writes warningCount and errorCount of AsmState.
#pragma once

#include "core/asm_state.h"

#define QVEK_PRINTF(fmt, args) __attribute__((format(printf, fmt, args)))

namespace qvek {

/// Counts a warning and prints it unless silent; returns 0 so a caller may go on.
int warning(AsmState& st, const char* format, ...) QVEK_PRINTF(2, 3);
/// Counts an error and prints it unless silent; returns -1 so a caller can `return error(...)`.
int error(AsmState& st, const char* format, ...) QVEK_PRINTF(2, 3);
/// Prints unless silent, counting nothing (pass banners, closing report).
void say(const AsmState& st, const char* format, ...) QVEK_PRINTF(2, 3);
/// Prints when the dump listing is on, whatever silent holds.
void dump(const AsmState& st, const char* format, ...) QVEK_PRINTF(2, 3);

}  // namespace qvek
