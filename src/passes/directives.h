// The directives of pass 1: DEF with its left-to-right NOT/AND/OR/XOR chains,
// PAT by address and sequential, ORG PGM and ORG PAT. Writes definitions,
// definitionCount, patternMemory, patternPointer, programCounter, the address
// of an ORG PGM line's label, labelWidth and both counts; in the Statement,
// the entries its '#' operands found.
#pragma once

#include "core/asm_state.h"
#include "passes/statement.h"

namespace qvek {

/// Carries out a DEF statement; returns the entry it filled, or -1 when the constant table is full.
int defineConstant(AsmState& st, Statement& s);
/// Carries out a PAT statement; returns the slot it filled, or -1 after a reported failure.
int storePattern(AsmState& st, Statement& s);
/// Carries out an ORG statement in pass 1; returns 0 (its faults are warnings).
int setOrigin(AsmState& st, Statement& s);

}  // namespace qvek
