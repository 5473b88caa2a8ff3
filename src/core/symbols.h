// The three name tables: constants, pattern labels and program labels.
// Every lookup and every change of a stored name goes through here, so the
// tables are indexed without their users knowing. First match wins.
// Writes the names and texts of definitions, programLabels and patternMemory,
// their pools and the bytes used of each, patternLabelEnd, labelCount,
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

/// Returns the entry a lookup of an entry's own name finds in the table an operand kind names, as findEntry
/// would, without hashing the name again; -1 for an entry without a name.
int findNamesake(const AsmState& st, OperandKind kind, uint32_t entry);

/// Returns the name of definitions entry index, empty for a free entry.
inline const char* definitionName(const AsmState& st, uint32_t index) {
    return st.definitionNames + st.definitions[index].name;
}
/// Returns the name of programLabels entry index, empty for an entry never named.
inline const char* programLabelName(const AsmState& st, uint32_t index) {
    return st.programLabelNames + st.programLabels[index].name;
}
/// Returns the label of a pattern slot, empty for a free slot.
inline const char* patternLabel(const AsmState& st, uint32_t slot) {
    return st.patternTexts + st.patternMemory[slot].label;
}
/// Returns the value operand last stored in a pattern slot, as written.
inline const char* patternValueText(const AsmState& st, uint32_t slot) {
    return st.patternTexts + st.patternMemory[slot].valueText;
}
/// Names definitions entry index (a name longer than a token is cut to fit).
void setDefinitionName(AsmState& st, uint32_t index, const char* name);
/// Relabels a pattern slot; an empty label frees it.
void setPatternLabel(AsmState& st, uint32_t slot, const char* label);
/// Stores the value operand of a pattern slot as written (cut to fit its field).
void setPatternValueText(AsmState& st, uint32_t slot, const char* text);
/// Appends a program label at address; returns its index, or -1 when the table is full.
int addProgramLabel(AsmState& st, const char* name, uint32_t address);

/// Raises labelWidth to the length of a label or constant name.
void widenLabelColumn(AsmState& st, const char* name);

/// Copies text into a field of capacity bytes, cut to fit; returns false when it was cut.
bool copyText(char* field, uint32_t capacity, const char* text);

}  // namespace qvek
