// The run: from the argument words to the exit status. Opens the source and
// the target, runs both passes, prints the listings, writes the load file,
// appends the optional file and prints the closing report. Writes
// includeNames[0], programCounter, currentLine, the target identity and both counts.
#pragma once

#include "core/asm_state.h"

namespace qvek {

/// Assembles as the words after the program name ask; returns 0, or -1 after any warning or error.
int runAssembly(AsmState& st, int count, const char* const* words);
/// The program's main entry: a fresh state for one run over argv; returns the exit status.
int runAssembler(int argc, const char* const* argv);

}  // namespace qvek
