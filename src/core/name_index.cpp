#include "core/name_index.h"

#include <cstring>

#include "core/asm_state.h"

namespace qvek {

uint32_t hashName(const char* name) {
    // FNV-1a: names differ mostly in their last characters, and it mixes each one.
    uint32_t hash = 2166136261u;
    for (const unsigned char* p = reinterpret_cast<const unsigned char*>(name); *p != '\0'; p++)
        hash = (hash ^ *p) * 16777619u;
    return hash;
}

template <uint32_t Entries>
int NameIndex<Entries>::find(const NameTable& table, const char* name, uint32_t hash) const {
    for (uint32_t link = bucket[hash & (kBuckets - 1)]; link != 0; link = nextHead[link - 1]) {
        const uint32_t head = link - 1;
        if (hashOf[head] == hash && std::strcmp(table.name(head), name) == 0) return static_cast<int>(head);
    }
    return -1;
}

template <uint32_t Entries>
void NameIndex<Entries>::replaceHead(uint32_t head, uint16_t replacement) {
    uint16_t* link = &bucket[hashOf[head] & (kBuckets - 1)];
    while (*link != head + 1) link = &nextHead[*link - 1];
    *link = replacement;
}

template <uint32_t Entries>
void NameIndex<Entries>::add(const NameTable& table, uint32_t entry) {
    const uint32_t hash = hashName(table.name(entry));
    const auto self = static_cast<uint16_t>(entry + 1);
    hashOf[entry] = hash;
    nextSame[entry] = 0;
    const int found = find(table, table.name(entry), hash);
    if (found < 0) {
        uint16_t& first = bucket[hash & (kBuckets - 1)];
        nextHead[entry] = first;
        first = self;
        lastSame[entry] = self;
        return;
    }
    const auto head = static_cast<uint32_t>(found);
    if (entry < head) {
        // The new entry comes first in index order, so it is now what lookups find.
        nextHead[entry] = nextHead[head];
        replaceHead(head, self);
        nextSame[entry] = static_cast<uint16_t>(head + 1);
        lastSame[entry] = lastSame[head];
        return;
    }
    if (entry > lastSame[head] - 1u) {
        // The usual case: tables fill from low entries to high ones.
        nextSame[lastSame[head] - 1] = self;
        lastSame[head] = self;
        return;
    }
    uint32_t before = head;
    while (nextSame[before] - 1u < entry) before = nextSame[before] - 1u;
    nextSame[entry] = nextSame[before];
    nextSame[before] = self;
}

template <uint32_t Entries>
void NameIndex<Entries>::remove(const NameTable& table, uint32_t entry) {
    const int found = find(table, table.name(entry), hashOf[entry]);
    if (found < 0) return;
    const auto head = static_cast<uint32_t>(found);
    if (head == entry) {
        const uint16_t next = nextSame[entry];
        if (next == 0) {
            replaceHead(entry, nextHead[entry]);
            return;
        }
        // The next entry of the same name becomes the one that lookups find.
        nextHead[next - 1] = nextHead[entry];
        lastSame[next - 1] = lastSame[entry];
        replaceHead(entry, next);
        return;
    }
    uint32_t before = head;
    while (nextSame[before] != 0 && nextSame[before] - 1u != entry) before = nextSame[before] - 1u;
    if (nextSame[before] == 0) return;
    nextSame[before] = nextSame[entry];
    if (lastSame[head] == entry + 1) lastSame[head] = static_cast<uint16_t>(before + 1);
}

template struct NameIndex<kMaxDefinitions>;
template struct NameIndex<kPatternSlots>;
static_assert(kMaxProgramLabels == kPatternSlots, "one index shape serves pattern and program labels");

}  // namespace qvek
