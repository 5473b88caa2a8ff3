#include "core/symbols.h"

#include <cstring>

namespace qvek {

int findDefinition(const AsmState& st, const char* name, uint32_t limit) {
    if (name[0] == '\0') return -1;  // free entries have empty names
    if (limit > kMaxDefinitions) limit = kMaxDefinitions;
    for (uint32_t i = 0; i < limit; i++)
        if (std::strcmp(st.definitions[i].name, name) == 0) return static_cast<int>(i);
    return -1;
}

int findPatternLabel(const AsmState& st, const char* name) {
    if (name[0] == '\0') return -1;
    for (uint32_t i = 0; i < kPatternSlots; i++)
        if (std::strcmp(st.patternMemory[i].label, name) == 0) return static_cast<int>(i);
    return -1;
}

int findProgramLabel(const AsmState& st, const char* name) {
    if (name[0] == '\0') return -1;
    for (uint32_t i = 0; i < st.labelCount && i < kMaxProgramLabels; i++)
        if (std::strcmp(st.programLabels[i].name, name) == 0) return static_cast<int>(i);
    return -1;
}

void setDefinitionName(AsmState& st, uint32_t index, const char* name) {
    copyText(st.definitions[index].name, sizeof st.definitions[index].name, name);
}

void setPatternLabel(AsmState& st, uint32_t slot, const char* label) {
    copyText(st.patternMemory[slot].label, sizeof st.patternMemory[slot].label, label);
}

int addProgramLabel(AsmState& st, const char* name, uint32_t address) {
    if (st.labelCount >= kMaxProgramLabels) return -1;
    ProgramLabel& entry = st.programLabels[st.labelCount];
    copyText(entry.name, sizeof entry.name, name);
    entry.address = static_cast<int32_t>(address);
    return static_cast<int>(st.labelCount++);
}

void widenLabelColumn(AsmState& st, const char* name) {
    const size_t length = std::strlen(name);
    if (length > st.labelWidth) st.labelWidth = static_cast<uint32_t>(length);
}

bool copyText(char* field, uint32_t capacity, const char* text) {
    const size_t length = std::strlen(text);
    const size_t kept = length < capacity ? length : capacity - 1;
    std::memcpy(field, text, kept);
    field[kept] = '\0';
    return kept == length;
}

}  // namespace qvek
