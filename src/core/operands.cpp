#include "core/operands.h"

#include "core/messages.h"
#include "core/numbers.h"
#include "core/symbols.h"

namespace qvek {

namespace {

struct Lookup {
    int index = -1;
    uint32_t value = 0;
};

Lookup lookupName(const AsmState& st, const char* name, OperandKind kind) {
    Lookup found;
    found.index = findEntry(st, name, kind);
    if (found.index < 0) return found;
    switch (kind) {
        case PatternLabel: found.value = static_cast<uint32_t>(found.index); break;
        case Constant: found.value = static_cast<uint32_t>(st.definitions[found.index].value); break;
        case JumpLabel: found.value = static_cast<uint32_t>(st.programLabels[found.index].address); break;
    }
    return found;
}

const char* const kUndefinedMessage[] = {
    "\nERROR:- Pattern Memory Label %s is not defined on line %3.3d in file %s",
    "\nERROR:- Definition for %s is not defined on line %3.3d in file %s",
    "\nERROR:- Jump Address Label %s is not defined on line %3.3d in file %s",
};

}  // namespace

int encodeOperand(AsmState& st, uint32_t nibbles, const char* token, int32_t line, OperandKind kind) {
    if (token[0] == '\0')
        return error(st, "\nERROR:- Operand missing from line %3.3d in file %s", line, st.includeNames[0]);
    // The field must lie inside the image even if a pass computed a wild address.
    if (nibbles < 1 || nibbles > 3 || st.programCounter >= kProgramImageSize - nibbles)
        return error(st, "\nERROR:- Program address 0x%x on line %3.3d in file %s lies outside program memory",
                     st.programCounter, line, st.includeNames[0]);

    int result = 0;
    uint32_t value;
    if (token[0] == '#') {
        const Lookup found = lookupName(st, token, kind);
        if (found.index < 0) return error(st, kUndefinedMessage[kind], token, line, st.includeNames[0]);
        result = found.index;
        value = found.value;
    } else {
        value = parseNumber(st, token);
    }

    const uint32_t limit = 1u << (4 * nibbles);
    if (value >= limit) {
        const uint32_t truncated = value & (limit - 1);
        warning(st,
                "\nWARNING:-  Value (0x%x) has overflowed precision on line %3.3d in file %s\n"
                "           Value has been truncated to 0x%x",
                value, line, st.includeNames[0], truncated);
        value = truncated;
    }
    for (uint32_t k = 1; k <= nibbles; k++) {
        st.programImage[st.programCounter + k] = static_cast<uint8_t>(value & 0xF);
        value >>= 4;
    }
    return result;
}

}  // namespace qvek
