// Numeric literals of the source language: bases 2, 10 and 16 with their
// prefix letters, and the warnings for a forgotten '#' and for numbers wider
// than 32 bits. Writes only warningCount (through the messages).
#pragma once

#include <cstdint>

#include "core/asm_state.h"

namespace qvek {

// What reading a number found, besides its value.
struct NumberReading {
    uint32_t value = 0;         // the low 32 bits of the number
    bool missingHash = false;   // no prefix and no leading digit: a name without '#'?
    bool overflow = false;      // a base-10 or base-16 magnitude beyond 32 bits
    const char* rest = nullptr;  // the text after leading zeros
};

/// Reads a number token without reporting anything; the value is 0 when nothing can be read.
NumberReading readNumber(const char* token);
/// Returns a number token's 32-bit value, warning about a missing '#' or a number beyond 32 bits.
uint32_t parseNumber(AsmState& st, const char* token);

}  // namespace qvek
