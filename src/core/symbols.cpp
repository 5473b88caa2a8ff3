#include "core/symbols.h"

#include <cstring>

namespace qvek {

namespace {

NameTable definitionNames(const AsmState& st) {
    return {reinterpret_cast<const char*>(&st.definitions[0].name), sizeof(Definition), st.definitionNames};
}
NameTable patternLabels(const AsmState& st) { return {st.patternMemory[0].label, sizeof(PatternWord)}; }
NameTable programLabelNames(const AsmState& st) { return {st.programLabels[0].name, sizeof(ProgramLabel)}; }

// Stores a new name in a table entry and moves the entry in the table's index:
// out from under its old name, in under the new one. Empty names are never indexed.
template <uint32_t Entries>
void rename(NameIndex<Entries>& index, const NameTable& table, uint32_t entry, char* field, uint32_t capacity,
            const char* name) {
    if (field[0] != '\0') index.remove(table, entry);
    copyText(field, capacity, name);
    if (field[0] != '\0') index.add(table, entry);
}

}  // namespace

// Each index yields the lowest entry of a name over the whole table; the
// limits below only decide whether that entry is visible.

int findDefinition(const AsmState& st, const char* name, uint32_t limit) {
    if (name[0] == '\0') return -1;  // free entries have empty names
    if (limit > kMaxDefinitions) limit = kMaxDefinitions;
    const int found = st.definitionIndex.find(definitionNames(st), name, hashName(name));
    return found >= 0 && static_cast<uint32_t>(found) < limit ? found : -1;
}

int findPatternLabel(const AsmState& st, const char* name) {
    if (name[0] == '\0') return -1;
    return st.patternLabelIndex.find(patternLabels(st), name, hashName(name));
}

int findProgramLabel(const AsmState& st, const char* name) {
    if (name[0] == '\0') return -1;
    // Entries at or above labelCount stay indexed but are not seen.
    const int found = st.programLabelIndex.find(programLabelNames(st), name, hashName(name));
    return found >= 0 && static_cast<uint32_t>(found) < st.labelCount ? found : -1;
}

void setDefinitionName(AsmState& st, uint32_t index, const char* name) {
    Definition& entry = st.definitions[index];
    if (definitionName(st, index)[0] != '\0') st.definitionIndex.remove(definitionNames(st), index);
    const size_t length = strnlen(name, kTokenBufferSize - 1);
    // An entry without room keeps the pool's empty name until it gets a name.
    if (length == 0 && entry.room == 0) return;
    if (length + 1 > entry.room) {
        // First room as the name needs; beyond that, room for any name, so an entry moves once at most.
        const uint32_t room = entry.room == 0 ? static_cast<uint32_t>(length + 1) : kTokenBufferSize;
        static_assert(kDefinitionNamePoolSize >= 1 + kMaxDefinitions * (kTokenBufferSize + kTokenBufferSize),
                      "every entry can take its first room and the room for any name");
        entry.name = st.definitionNamesUsed;
        entry.room = static_cast<uint8_t>(room);
        st.definitionNamesUsed += room;
    }
    char* stored = st.definitionNames + entry.name;
    std::memcpy(stored, name, length);
    stored[length] = '\0';
    if (length != 0) st.definitionIndex.add(definitionNames(st), index);
}

void setPatternLabel(AsmState& st, uint32_t slot, const char* label) {
    PatternWord& word = st.patternMemory[slot];
    rename(st.patternLabelIndex, patternLabels(st), slot, word.label, sizeof word.label, label);
    if (word.label[0] != '\0' && slot >= st.patternLabelEnd) st.patternLabelEnd = slot + 1;
}

int addProgramLabel(AsmState& st, const char* name, uint32_t address) {
    if (st.labelCount >= kMaxProgramLabels) return -1;
    ProgramLabel& entry = st.programLabels[st.labelCount];
    rename(st.programLabelIndex, programLabelNames(st), st.labelCount, entry.name, sizeof entry.name, name);
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
