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

struct WordTable {
    static constexpr uint32_t kSlots = 64;
    uint32_t packed[kSlots] = {};  // 0 = free: no statement word is empty
    StatementCode code[kSlots] = {};
    static constexpr uint32_t slotOf(uint32_t packed) { return (packed * 2654435761u) >> 26; }
    constexpr WordTable() {
        for (const Keyword& k : kKeywords) {
            const uint32_t length = wordLength(k.word);
            if (length == 0 || length > kLongestWord) throw "statement words are 1 to 4 characters";
            uint32_t slot = slotOf(packWord(k.word, length));
            while (packed[slot] != 0) slot = (slot + 1) % kSlots;
            packed[slot] = packWord(k.word, length);
            code[slot] = k.code;
        }
    }
};
constexpr WordTable kWordTable;

}  // namespace

StatementCode lookupKeyword(const char* word) {
    uint32_t length = 0;
    while (length <= kLongestWord && word[length] != '\0') length++;
    if (length == 0 || length > kLongestWord) return StatementCode::NotAStatement;
    const uint32_t packed = packWord(word, length);
    for (uint32_t slot = WordTable::slotOf(packed); kWordTable.packed[slot] != 0; slot = (slot + 1) % WordTable::kSlots)
        if (kWordTable.packed[slot] == packed) return kWordTable.code[slot];
    return StatementCode::NotAStatement;
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
