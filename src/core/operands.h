// Operand resolution: a '#' name looked up in the table its kind names, or a
// number, fitted to its field and written into programImage as nibbles after
// programCounter. Writes programImage, warningCount and errorCount.
#pragma once

#include <cstdint>

#include "core/asm_state.h"
#include "core/keywords.h"

namespace qvek {

/// Writes an operand into the n nibbles after programCounter; returns the matched
/// table index (0 for a number) or -1 after reporting a missing operand or undefined name.
int encodeOperand(AsmState& st, uint32_t nibbles, const char* token, int32_t line, OperandKind kind);

}  // namespace qvek
