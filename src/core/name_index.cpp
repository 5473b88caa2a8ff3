#include "core/name_index.h"

#include <cstring>

#include "core/asm_state.h"

namespace qvek {

NameKey keyOf(const char* name) {
    NameKey key;
    // FNV-1a: names differ mostly in their last characters, and it mixes each one.
    uint32_t hash = 2166136261u;
    for (uint32_t i = 0; name[i] != '\0'; i++) {
        const auto c = static_cast<unsigned char>(name[i]);
        if (i < sizeof key.prefix) key.prefix |= uint64_t{c} << 8 * i;
        hash = (hash ^ c) * 16777619u;
    }
    key.hash = hash;
    return key;
}

namespace {

// Whether the prefix holds its name whole: a zero byte, the terminator, lies within it.
bool holdsWhole(uint64_t prefix) { return (prefix >> 56) == 0; }

}  // namespace

template <uint32_t Entries>
int NameIndex<Entries>::find(const NameTable& table, const char* name, const NameKey& key) const {
    for (uint32_t link = bucket[key.hash & (kBuckets - 1)]; link != 0; link = slot[link - 1].nextHead) {
        const uint32_t head = link - 1;
        const NameKey& held = slot[head].key;
        if (held.hash != key.hash || held.prefix != key.prefix) continue;
        // Equal prefixes that end within themselves are equal names; longer ones may differ further on.
        if (holdsWhole(key.prefix) || std::strcmp(table.name(head) + 8, name + 8) == 0) return static_cast<int>(head);
    }
    return -1;
}

template <uint32_t Entries>
void NameIndex<Entries>::replaceHead(uint32_t head, uint16_t replacement) {
    uint16_t* link = &bucket[slot[head].key.hash & (kBuckets - 1)];
    while (*link != head + 1) link = &slot[*link - 1].nextHead;
    *link = replacement;
}

template <uint32_t Entries>
void NameIndex<Entries>::add(const NameTable& table, uint32_t entry) {
    const NameKey key = keyOf(table.name(entry));
    const auto self = static_cast<uint16_t>(entry + 1);
    slot[entry].key = key;
    slot[entry].nextSame = 0;
    const int found = find(table, table.name(entry), key);
    if (found < 0) {
        uint16_t& first = bucket[key.hash & (kBuckets - 1)];
        slot[entry].nextHead = first;
        first = self;
        lastSame[entry] = self;
        return;
    }
    const auto head = static_cast<uint32_t>(found);
    if (entry < head) {
        // The new entry comes first in index order, so it is now what lookups find.
        slot[entry].nextHead = slot[head].nextHead;
        replaceHead(head, self);
        slot[entry].nextSame = static_cast<uint16_t>(head + 1);
        lastSame[entry] = lastSame[head];
        return;
    }
    if (entry > lastSame[head] - 1u) {
        // The usual case: tables fill from low entries to high ones.
        slot[lastSame[head] - 1].nextSame = self;
        lastSame[head] = self;
        return;
    }
    uint32_t before = head;
    while (slot[before].nextSame - 1u < entry) before = slot[before].nextSame - 1u;
    slot[entry].nextSame = slot[before].nextSame;
    slot[before].nextSame = self;
}

template <uint32_t Entries>
void NameIndex<Entries>::remove(const NameTable& table, uint32_t entry) {
    const int found = find(table, table.name(entry), slot[entry].key);
    if (found < 0) return;
    const auto head = static_cast<uint32_t>(found);
    if (head == entry) {
        const uint16_t next = slot[entry].nextSame;
        if (next == 0) {
            replaceHead(entry, slot[entry].nextHead);
            return;
        }
        // The next entry of the same name becomes the one that lookups find.
        slot[next - 1].nextHead = slot[entry].nextHead;
        lastSame[next - 1] = lastSame[entry];
        replaceHead(entry, next);
        return;
    }
    uint32_t before = head;
    while (slot[before].nextSame != 0 && slot[before].nextSame - 1u != entry) before = slot[before].nextSame - 1u;
    if (slot[before].nextSame == 0) return;
    slot[before].nextSame = slot[entry].nextSame;
    if (lastSame[head] == entry + 1) lastSame[head] = static_cast<uint16_t>(before + 1);
}

template struct NameIndex<kMaxDefinitions>;
template struct NameIndex<kPatternSlots>;
static_assert(kMaxProgramLabels == kPatternSlots, "one index shape serves pattern and program labels");

}  // namespace qvek
