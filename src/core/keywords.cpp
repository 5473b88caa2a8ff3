#include "core/keywords.h"

#include <cstring>

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

}  // namespace

StatementCode lookupKeyword(const char* word) {
    for (const Keyword& k : kKeywords)
        if (std::strcmp(word, k.word) == 0) return k.code;
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
