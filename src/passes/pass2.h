// Pass 2: reads the source again with every program label known, recomputes
// each statement's address exactly as pass 1 did and writes the targets of
// CAL, JCB and JMP, refusing a source that reads differently from pass 1.
// Writes the target nibbles of programImage, programCounter,
// programHighWater, definitionsPassed and both counts.
#pragma once

#include <cstdio>

#include "core/asm_state.h"

namespace qvek {

/// Fills in the targets of an open source stream; closes it and leaves its include level in every case.
/// Returns 0 at the end of the file, -1 after a reported failure.
int runPass2(AsmState& st, FILE* stream);

}  // namespace qvek
