#include "core/keywords.h"

namespace qvek {

namespace {

// Layout of every StatementCode, so the passes need no second search.
struct LayoutByCode {
    Layout layout[256] = {};
    bool known[256] = {};
    constexpr LayoutByCode() {
        for (const Keyword& k : kKeywords) {
            layout[static_cast<uint8_t>(k.code)] = k.layout;
            known[static_cast<uint8_t>(k.code)] = true;
        }
    }
};
constexpr LayoutByCode kLayoutByCode;

// Every statement word is looked up, once per line and pass: a word of up to
// four characters is packed into one integer and found by hashing it.
constexpr uint32_t kLongestWord = 4;

constexpr uint32_t packWord(const char* word, uint32_t length) {
    uint32_t packed = 0;
    for (uint32_t i = 0; i < length; i++)
        packed |= static_cast<uint32_t>(static_cast<unsigned char>(word[i])) << (8 * i);
    return packed;
}

constexpr uint32_t wordLength(const char* word) {
    uint32_t length = 0;
    while (word[length] != '\0') length++;
    return length;
}

// A slot for every statement word, each its own: a lookup compares once. The
// multiplier that spreads the words so is searched for when the table is built,
// through a fixed sequence of odd numbers; a new word that no multiplier fits
// fails the build.
struct WordTable {
    static constexpr uint32_t kSlots = 64;
    static constexpr uint32_t kSlotBits = 6;
    uint32_t multiplier = 0;
    uint32_t packed[kSlots] = {};  // 0 = free: no statement word is empty
    StatementCode code[kSlots] = {};
    constexpr uint32_t slotOf(uint32_t word) const { return (word * multiplier) >> (32 - kSlotBits); }
    constexpr bool fill(uint32_t tried) {
        multiplier = tried;
        for (uint32_t& p : packed) p = 0;
        for (const Keyword& k : kKeywords) {
            const uint32_t length = wordLength(k.word);
            if (length == 0 || length > kLongestWord) throw "statement words are 1 to 4 characters";
            const uint32_t slot = slotOf(packWord(k.word, length));
            if (packed[slot] != 0) return false;
            packed[slot] = packWord(k.word, length);
            code[slot] = k.code;
        }
        return true;
    }
    constexpr WordTable() {
        uint32_t tried = 2654435761u;
        for (int attempt = 0; !fill(tried | 1); attempt++, tried = tried * 1664525u + 1013904223u)
            if (attempt == 100000) throw "no multiplier gives every statement word a slot of its own";
    }
};
constexpr WordTable kWordTable;
static_assert((1u << WordTable::kSlotBits) == WordTable::kSlots);

}  // namespace

StatementCode lookupKeyword(const char* word, uint32_t length) {
    if (length == 0 || length > kLongestWord) return StatementCode::NotAStatement;
    // Most words are three characters long: those are packed without a loop.
    const auto byte = [word](uint32_t i) { return static_cast<uint32_t>(static_cast<unsigned char>(word[i])); };
    const uint32_t packed = length == 3 ? byte(0) | byte(1) << 8 | byte(2) << 16 : packWord(word, length);
    const uint32_t slot = kWordTable.slotOf(packed);
    return kWordTable.packed[slot] == packed ? kWordTable.code[slot] : StatementCode::NotAStatement;
}

StatementCode lookupKeyword(const char* word) {
    uint32_t length = 0;
    while (length <= kLongestWord && word[length] != '\0') length++;
    return lookupKeyword(word, length);
}

const InstructionFormat* instructionFormat(StatementCode code) {
    const uint8_t c = static_cast<uint8_t>(code);
    if (!kLayoutByCode.known[c] || kLayoutByCode.layout[c] == Layout::Directive) return nullptr;
    return &kFormats[static_cast<int>(kLayoutByCode.layout[c])];
}

uint8_t opcodeOf(StatementCode code, const InstructionFormat& format) {
    return format.opcode >= 0 ? static_cast<uint8_t>(format.opcode) : static_cast<uint8_t>(code);
}

}  // namespace qvek
