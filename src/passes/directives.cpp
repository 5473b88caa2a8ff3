#include "passes/directives.h"

#include <cstring>

#include "core/keywords.h"
#include "core/messages.h"
#include "core/numbers.h"
#include "core/symbols.h"
#include "passes/observed.h"

namespace qvek {

namespace {

uint32_t combine(StatementCode pending, uint32_t accumulated, uint32_t operand) {
    switch (pending) {
        case StatementCode::And: return accumulated & operand;
        case StatementCode::Or: return accumulated | operand;
        case StatementCode::Xor: return accumulated ^ operand;
        default: return operand;
    }
}

bool occupied(const AsmState& st, uint32_t slot) { return patternLabel(st, slot)[0] != '\0'; }

void fillSlot(AsmState& st, uint32_t slot, const char* label, const char* valueText) {
    setPatternLabel(st, slot, label);
    setPatternValueText(st, slot, valueText);
}

int storePatternAt(AsmState& st, Statement& s) {
    const char* label = s.operands[1];
    const char* valueText = s.operands[2];
    const uint32_t slot = parseNumber(st, s.operands[3]) / 2;
    // Refused rather than wrapped: a word must never land in a slot it was not meant for.
    if (slot >= kPatternSlots)
        return error(st, "\nERROR:- PAT address %s on line %3.3d in file %s is beyond pattern memory (0 to %u) !",
                     s.operands[3], st.currentLine, st.includeNames[0], kHostPatternAddresses - 1);
    if (occupied(st, slot))
        warning(st,
                "\nWARNING:- Absolute Pattern memory value %s will overwrite currently assigned label %s at "
                "address ox%4.4x on line %3.3d of file %s",
                label, patternLabel(st, slot), slot, st.currentLine, st.includeNames[0]);
    fillSlot(st, slot, label, valueText);
    if (valueText[0] == '#') {
        const int found = s.found[2] = findDefinition(st, valueText);
        if (found < 0)
            return error(st, "\nERROR:- Definition for %s is not defined on line %3.3d in file %s", valueText,
                         st.currentLine, st.includeNames[0]);
        st.patternMemory[slot].value = static_cast<uint32_t>(st.definitions[found].value);
    } else {
        st.patternMemory[slot].value = parseNumber(st, valueText);
    }
    widenLabelColumn(st, label);
    if (st.observer != nullptr) observePattern(st, slot);
    return static_cast<int>(slot);
}

int storePatternNext(AsmState& st, Statement& s) {
    while (st.patternPointer < kPatternSlots && occupied(st, st.patternPointer)) st.patternPointer++;
    if (st.patternPointer >= kPatternSlots)
        return error(st, "\nERROR:- Available KRX Pattern memory segment space exhuasted !");
    const uint32_t slot = st.patternPointer;
    // A single operand is the value, even when it is a '#' name.
    const bool labelled = s.operands[2][0] != '\0';
    const char* valueText = labelled ? s.operands[2] : s.operands[1];
    fillSlot(st, slot, labelled ? s.operands[1] : "", valueText);
    if (valueText[0] == '#') {
        const int found = s.found[labelled ? 2 : 1] = findDefinition(st, valueText);
        if (found < 0)
            warning(st, "\nWARNING:- Definition for %s is not defined on line %3.3d in file %s", valueText,
                    st.currentLine, st.includeNames[0]);
        else
            st.patternMemory[slot].value = static_cast<uint32_t>(st.definitions[found].value);
    } else {
        st.patternMemory[slot].value = parseNumber(st, valueText);
    }
    widenLabelColumn(st, s.operands[1]);
    st.patternPointer++;
    if (st.observer != nullptr) observePattern(st, slot);
    return static_cast<int>(slot);
}

}  // namespace

int defineConstant(AsmState& st, Statement& s) {
    if (st.definitionCount >= kMaxDefinitions)
        return error(st, "\nERROR:- Available Definition storage space exhuasted !");
    const uint32_t entry = st.definitionCount;
    setDefinitionName(st, entry, s.operands[1]);
    // The entry holds the running value, so the name may stand for it in its own expression.
    uint32_t value = 0;
    st.definitions[entry].value = 0;
    StatementCode pending = StatementCode::NotAStatement;
    bool inverting = false;

    for (uint32_t i = 2; i <= kMaxOperands && s.operands[i][0] != '\0'; i++) {
        const char* token = s.operands[i];
        const StatementCode code = lookupKeyword(token, s.operandLengths[i]);
        if (code == StatementCode::Not) {
            inverting = !inverting;
            continue;
        }
        if (code == StatementCode::And || code == StatementCode::Or || code == StatementCode::Xor) {
            pending = code;
            continue;
        }
        uint32_t operand;
        if (token[0] == '#') {
            const int found = s.found[i] = findDefinition(st, token);
            if (found < 0) {
                warning(st, "\nWARNING:- Definition for %s is not defined on line %3.3din file %s", token,
                        st.currentLine, st.includeNames[0]);
                continue;
            }
            operand = static_cast<uint32_t>(st.definitions[found].value);
        } else {
            operand = parseNumber(st, token);
        }
        if (inverting) operand = ~operand;
        value = combine(pending, value, operand);
        st.definitions[entry].value = static_cast<int32_t>(value);
        pending = StatementCode::NotAStatement;
    }
    widenLabelColumn(st, s.operands[1]);
    st.definitionCount++;
    if (st.observer != nullptr) observeConstant(st, entry);
    return static_cast<int>(entry);
}

int storePattern(AsmState& st, Statement& s) {
    return s.operands[3][0] != '\0' ? storePatternAt(st, s) : storePatternNext(st, s);
}

int setOrigin(AsmState& st, Statement& s) {
    const char* segment = s.operands[1];
    const char* address = s.operands[2];
    uint32_t programAddress;
    uint32_t hostAddress;
    bool ignored = false;
    if (address[0] == '#') {
        const int found = s.found[2] = findDefinition(st, address);
        if (found < 0) {
            warning(st, "\nWARNING:- Definition for %s is not defined on line %3.3d in file %s", address,
                    st.currentLine, st.includeNames[0]);
            programAddress = st.programCounter;
            hostAddress = 2 * st.patternPointer;
            ignored = true;
        } else {
            programAddress = hostAddress = static_cast<uint32_t>(st.definitions[found].value);
        }
    } else {
        programAddress = hostAddress = parseNumber(st, address);
    }

    Segment moved = Segment::Other;
    if (std::strcmp(segment, "PGM") == 0) {
        moved = Segment::Program;
        if (programAddress >= kProgramNibbles) {
            warning(st,
                    "\nWARNING:- ORG statement on line %3.3d in file %s will exceed allowed program memory space. "
                    "Statement ignored.",
                    st.currentLine, st.includeNames[0]);
            programAddress = st.programCounter;
            ignored = true;
        }
        st.programCounter = programAddress;
        // The label of an ORG PGM line names the new origin.
        if (s.hasLabel && st.labelCount > 0)
            st.programLabels[st.labelCount - 1].address = static_cast<int32_t>(st.programCounter);
    } else if (std::strcmp(segment, "PAT") == 0) {
        moved = Segment::Pattern;
        // Host addresses count halves: 0 to 2047 reach all 1024 slots.
        if (hostAddress >= kHostPatternAddresses) {
            warning(st,
                    "\nWARNING:- ORG statement on line %3.3d in file %s will exceed allowed pattern memory space. "
                    "Statement ignored.",
                    st.currentLine, st.includeNames[0]);
            hostAddress = 2 * st.patternPointer;
            ignored = true;
        }
        st.patternPointer = hostAddress / 2;
    } else {
        ignored = true;  // neither memory: nothing moves
    }
    if (st.observer != nullptr) observeOrigin(st, moved, ignored);
    return 0;
}

}  // namespace qvek
