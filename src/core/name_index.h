// A hash index over the names of one fixed table, kept inside AsmState beside
// the table it indexes. It finds the lowest entry of a name in constant time on
// average, as a scan from entry 0 would, however many entries share that name.
// Writes only its own arrays; symbols.cpp owns every index in AsmState.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

namespace qvek {

// Where the names of a table lie: entry i's zero-terminated name starts at
// first + i * stride, or, for a table whose names lie in a pool, at pool plus
// the offset stored there.
struct NameTable {
    const char* first;           // name of entry 0, or its offset in pool
    size_t stride;               // bytes from one entry's name (or offset) to the next
    const char* pool = nullptr;  // the pool the offsets count in; null: names in place
    const char* name(uint32_t entry) const {
        if (pool == nullptr) return first + entry * stride;
        uint32_t offset;
        std::memcpy(&offset, first + entry * stride, sizeof offset);
        return pool + offset;
    }
};

// What a lookup compares of a name before the name itself: its hash and its
// first eight bytes, zero-padded, which hold a name of up to seven characters
// whole, so that the table's copy is only read for longer names.
struct NameKey {
    uint64_t prefix = 0;  // the first eight bytes, zero-padded
    uint32_t hash = 0;    // FNV-1a of the whole name; its low bits choose the bucket
};

/// Returns the key of a zero-terminated name.
NameKey keyOf(const char* name);

// Each distinct name has one head, its lowest entry, chained into a bucket;
// the other entries of the name hang off the head in rising order. Links are
// entry + 1, so a zeroed index is an empty one.
template <uint32_t Entries>
struct NameIndex {
    static_assert((Entries & (Entries - 1)) == 0 && Entries <= 0x8000, "power of two that fits the links");
    static constexpr uint32_t kBuckets = 2 * Entries;

    // What a lookup reads of an entry, together in a few bytes: one cache line
    // holds all of it for four entries.
    struct Slot {
        NameKey key;            // keyOf the indexed entry's name
        uint16_t nextHead = 0;  // heads only: the next head in the same bucket
        uint16_t nextSame = 0;  // the next higher entry of the same name
    };

    uint16_t bucket[kBuckets] = {};   // first head whose hash falls in this bucket
    Slot slot[Entries] = {};          // each entry's key and links
    uint16_t lastSame[Entries] = {};  // heads only: the highest entry of the name

    /// Returns the lowest indexed entry named exactly name (of key key), or -1.
    int find(const NameTable& table, const char* name, const NameKey& key) const;
    /// Indexes an entry whose non-empty name has just been stored.
    void add(const NameTable& table, uint32_t entry);
    /// Takes an indexed entry out, while its old name is still stored.
    void remove(const NameTable& table, uint32_t entry);

  private:
    // Makes replacement take head's place in its bucket chain (0 unlinks head).
    void replaceHead(uint32_t head, uint16_t replacement);
};

}  // namespace qvek
