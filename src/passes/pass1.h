// Pass 1: one forward reading of a source file and its includes. Assembles
// opcodes and every operand it can resolve, registers labels, and carries out
// DEF, PAT, ORG and INC. Writes programImage, programCounter, programLabels,
// labelCount, labelWidth, the pattern and constant tables, both counts and
// pass1Digest, the digest of every line read, which pass 2 must match.
#pragma once

#include <cstdio>

#include "core/asm_state.h"

namespace qvek {

/// Assembles an open source stream; closes it and leaves its include level in every case.
/// Returns 0 at the end of the file, -1 after a reported failure.
int runPass1(AsmState& st, FILE* stream);

}  // namespace qvek
