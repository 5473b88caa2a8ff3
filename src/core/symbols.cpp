#include "core/symbols.h"

#include <cstring>

namespace qvek {

namespace {

NameTable definitionNames(const AsmState& st) {
    return {reinterpret_cast<const char*>(&st.definitions[0].name), sizeof(Definition), st.definitionNames};
}
NameTable patternLabels(const AsmState& st) {
    return {reinterpret_cast<const char*>(&st.patternMemory[0].label), sizeof(PatternWord), st.patternTexts};
}
NameTable programLabelNames(const AsmState& st) {
    return {reinterpret_cast<const char*>(&st.programLabels[0].name), sizeof(ProgramLabel), st.programLabelNames};
}

// One pool of texts, with the bytes of it already held.
struct Pool {
    char* bytes;
    uint32_t& used;
};

// Stores text, cut to size - 1 characters, at an entry's offset in pool, first
// giving the entry room: as much as the text needs, and once that is outgrown,
// room for any text of size, so an entry moves once at most. An entry without
// room keeps the pool's empty text until it is given one that is not empty.
void storeText(Pool pool, uint32_t& offset, uint8_t& room, uint32_t size, const char* text) {
    const size_t length = strnlen(text, size - 1);
    if (length == 0 && room == 0) return;
    if (length + 1 > room) {
        offset = pool.used;
        room = static_cast<uint8_t>(room == 0 ? length + 1 : size);
        pool.used += room;
    }
    std::memcpy(pool.bytes + offset, text, length);
    pool.bytes[offset + length] = '\0';
}

// Stores a new name in a table entry and moves the entry in the table's index:
// out from under its old name, in under the new one. Empty names are never indexed.
template <uint32_t Entries>
void rename(NameIndex<Entries>& index, const NameTable& table, uint32_t entry, Pool pool, uint32_t& offset,
            uint8_t& room, uint32_t size, const char* name) {
    if (pool.bytes[offset] != '\0') index.remove(table, entry);
    storeText(pool, offset, room, size, name);
    if (pool.bytes[offset] != '\0') index.add(table, entry);
}

// The lowest entry below limit named as entry is, found by the key the index holds for entry.
template <uint32_t Entries>
int findNamedAs(const NameIndex<Entries>& index, const NameTable& table, uint32_t entry, uint32_t limit) {
    if (entry >= Entries) return -1;
    const char* name = table.name(entry);
    if (name[0] == '\0') return -1;  // only names are indexed
    const int found = index.find(table, name, index.slot[entry].key);
    return found >= 0 && static_cast<uint32_t>(found) < limit ? found : -1;
}

}  // namespace

// Each index yields the lowest entry of a name over the whole table; the
// limits below only decide whether that entry is visible.

int findDefinition(const AsmState& st, const char* name, uint32_t limit) {
    if (name[0] == '\0') return -1;  // free entries have empty names
    if (limit > kMaxDefinitions) limit = kMaxDefinitions;
    const int found = st.definitionIndex.find(definitionNames(st), name, keyOf(name));
    return found >= 0 && static_cast<uint32_t>(found) < limit ? found : -1;
}

int findPatternLabel(const AsmState& st, const char* name) {
    if (name[0] == '\0') return -1;
    return st.patternLabelIndex.find(patternLabels(st), name, keyOf(name));
}

int findProgramLabel(const AsmState& st, const char* name) {
    if (name[0] == '\0') return -1;
    // Entries at or above labelCount stay indexed but are not seen.
    const int found = st.programLabelIndex.find(programLabelNames(st), name, keyOf(name));
    return found >= 0 && static_cast<uint32_t>(found) < st.labelCount ? found : -1;
}

int findNamesake(const AsmState& st, OperandKind kind, uint32_t entry) {
    switch (kind) {
        case PatternLabel: return findNamedAs(st.patternLabelIndex, patternLabels(st), entry, kPatternSlots);
        case Constant: return findNamedAs(st.definitionIndex, definitionNames(st), entry, kMaxDefinitions);
        case JumpLabel: break;
    }
    return findNamedAs(st.programLabelIndex, programLabelNames(st), entry, st.labelCount);
}

void setDefinitionName(AsmState& st, uint32_t index, const char* name) {
    Definition& entry = st.definitions[index];
    rename(st.definitionIndex, definitionNames(st), index, {st.definitionNames, st.definitionNamesUsed}, entry.name,
           entry.room, kDefinitionNameSize, name);
}

void setPatternLabel(AsmState& st, uint32_t slot, const char* label) {
    PatternWord& word = st.patternMemory[slot];
    rename(st.patternLabelIndex, patternLabels(st), slot, {st.patternTexts, st.patternTextsUsed}, word.label,
           word.labelRoom, kPatternLabelSize, label);
    if (st.patternTexts[word.label] != '\0' && slot >= st.patternLabelEnd) st.patternLabelEnd = slot + 1;
}

void setPatternValueText(AsmState& st, uint32_t slot, const char* text) {
    PatternWord& word = st.patternMemory[slot];
    storeText({st.patternTexts, st.patternTextsUsed}, word.valueText, word.valueRoom, kPatternValueTextSize, text);
}

int addProgramLabel(AsmState& st, const char* name, uint32_t address) {
    if (st.labelCount >= kMaxProgramLabels) return -1;
    ProgramLabel& entry = st.programLabels[st.labelCount];
    rename(st.programLabelIndex, programLabelNames(st), st.labelCount, {st.programLabelNames, st.programLabelNamesUsed},
           entry.name, entry.room, kProgramLabelNameSize, name);
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
