// The include stack: the name of the file being read and the line numbers of
// the files that included it, saved on entering a file and restored on leaving.
// Writes includeNames, savedLines, includeDepth and currentLine of AsmState.
#pragma once

#include "core/asm_state.h"

namespace qvek {

/// Enters an include level for an opened file; returns the new depth, or -1 when 15 are open.
int pushInclude(AsmState& st, const char* name);
/// Leaves the current include level; returns the new depth, or -1 at the main source.
int popInclude(AsmState& st);

}  // namespace qvek
