// The three name tables: constants, pattern labels and program labels.
// Every lookup and every change of a stored name goes through here, so the
// tables are indexed without their users knowing. First match wins.
// Writes definitions[].name and room, definitionNames and definitionNamesUsed,
// patternMemory[].label and patternLabelEnd, programLabels, labelCount,
// labelWidth and the three name indexes.
#pragma once

#include <cstdint>

#include "core/asm_state.h"
#include "core/keywords.h"

namespace qvek {

/// Returns the first definitions entry below limit named exactly name, or -1.
int findDefinition(const AsmState& st, const char* name, uint32_t limit = kMaxDefinitions);
/// Returns the first pattern slot labelled exactly name, or -1.
int findPatternLabel(const AsmState& st, const char* name);
/// Returns the first program label below labelCount named exactly name, or -1.
int findProgramLabel(const AsmState& st, const char* name);
/// Returns the first entry named exactly name in the table an operand kind names, or -1.
inline int findEntry(const AsmState& st, const char* name, OperandKind kind) {
    switch (kind) {
        case PatternLabel: return findPatternLabel(st, name);
        case Constant: return findDefinition(st, name);
        case JumpLabel: return findProgramLabel(st, name);
    }
    return -1;
}

/// Returns the name of definitions entry index, empty for a free entry.
inline const char* definitionName(const AsmState& st, uint32_t index) {
    return st.definitionNames + st.definitions[index].name;
}
/// Names definitions entry index (a name longer than a token is cut to fit).
void setDefinitionName(AsmState& st, uint32_t index, const char* name);
/// Relabels a pattern slot; an empty label frees it.
void setPatternLabel(AsmState& st, uint32_t slot, const char* label);
/// Appends a program label at address; returns its index, or -1 when the table is full.
int addProgramLabel(AsmState& st, const char* name, uint32_t address);

/// Raises labelWidth to the length of a label or constant name.
void widenLabelColumn(AsmState& st, const char* name);

/// Copies text into a field of capacity bytes, cut to fit; returns false when it was cut.
bool copyText(char* field, uint32_t capacity, const char* text);

}  // namespace qvek
