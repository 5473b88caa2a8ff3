// Hover: what the assembler made of the token under the cursor, in its own
// terms: a constant's value and expression, a label's address and statement,
// a pattern word, an instruction's nibbles, a number as the assembler reads it.
#include <cstdio>

#include "core/numbers.h"
#include "lsp/features.h"
#include "lsp/query.h"

namespace qvek::lsp {

namespace {

std::string format(const char* f, uint32_t a, uint32_t b = 0) {
    char text[96];
    std::snprintf(text, sizeof text, f, a, b);
    return text;
}

std::string binary(uint32_t value) {
    std::string bits;
    for (int b = 31; b >= 0; b--)
        if (!bits.empty() || (value >> b & 1) != 0 || b == 0) bits += (value >> b & 1) != 0 ? '1' : '0';
    return "0b" + bits;
}

std::string where(const Model& m, const TokenPlace& p) {
    return "line " + std::to_string(p.line + 1) + " of `" + m.files[p.file].path + "`";
}

// The line as typed, without its comment and outer blanks.
std::string typed(const Model& m, uint32_t file, uint32_t line) {
    if (m.files[file].text == nullptr) return {};
    std::string_view text = m.files[file].text->sourceLine(line);
    text = text.substr(0, std::min(text.size(), text.find('*')));
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) text.remove_suffix(1);
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
    return std::string(text);
}

std::string nibbles(const Statement& s) {
    std::string digits;
    for (uint32_t k = 0; k < s.size && k < sizeof s.nibbles; k++) {
        if (k > 0) digits += ' ';
        digits += "0123456789ABCDEF"[s.nibbles[k] & 0xF];
    }
    return digits;
}

std::string symbolText(const Model& m, const Symbol& s) {
    std::string text = "**" + s.name + "**";
    switch (s.table) {
        case Table::Constant:
            text += " constant\n\n" + format("`0x%08X` · `%u` · `", s.value, s.value) + binary(s.value) + "`";
            if (s.statement >= 0) {
                // The expression as the passes read it: the operands after the name.
                const Statement& def = m.statements[s.statement];
                text += "\n\n```\nDEF " + s.name;
                for (size_t i = def.wordToken + 2; i < def.tokens.size(); i++) {
                    text += ' ';
                    text += def.tokens.view(i);
                }
                text += "\n```";
            }
            break;
        case Table::Label: {
            text += " program label, nibble address " + format("`0x%03X` (%u)", s.value, s.value);
            for (const Statement& at : m.statements)
                if (at.placed && at.address == s.value) {
                    text += "\n\n```\n" + typed(m, at.file, at.line) + "\n```";
                    break;
                }
            break;
        }
        case Table::Pattern:
            text += " pattern word in slot " + std::to_string(s.value) +
                    format(", host address `0x%04X`", 2 * s.value) + format(", value `0x%08X` (%u)", s.word, s.word);
            break;
    }
    text += "\n\nDefined on " + where(m, s.place) + (s.shadowed ? ", never used: an earlier definition wins" : "");
    return text;
}

// Whether the assembler reads operand token n of a statement as a number.
bool numericOperand(const Statement& s, uint32_t n) {
    const std::string& token = s.tokens[s.wordToken + n];
    if (token.empty() || token[0] == '#') return false;
    switch (s.code) {
        case StatementCode::Def: {
            const StatementCode c = lookupKeyword(token.c_str());
            return n >= 2 && c != StatementCode::Not && c != StatementCode::And && c != StatementCode::Or &&
                   c != StatementCode::Xor;
        }
        case StatementCode::Pat: return true;
        case StatementCode::Org: return n == 2;
        default: break;
    }
    const InstructionFormat* format = instructionFormat(s.code);
    if (format == nullptr) return false;
    for (uint8_t i = 0; i < format->fieldCount; i++)
        if (format->fields[i].operand == n && format->fields[i].fixedText == nullptr) return true;
    return false;
}

std::string numberText(const std::string& token) {
    const NumberReading r = readNumber(token.c_str());
    if (r.missingHash)
        return "`" + token +
               "` reads as **0**: no base letter and no leading digit, so the assembler warns that it is "
               "possibly missing '#'";
    std::string text =
        "`" + token + "` reads as " + format("`0x%X` · `%u` · `", r.value, r.value) + binary(r.value) + "`";
    if (r.overflow) text += "\n\nOnly its low 32 bits are kept.";
    return text;
}

}  // namespace

json hover(const Models& models, const std::string& path, Position position) {
    for (const auto& m : models) {
        const int file = m->fileIndex(path);
        if (file < 0) continue;
        const TokenAt at = tokenAt(*m, static_cast<uint32_t>(file), position);
        if (at.statement == nullptr) continue;
        const Statement& s = *at.statement;
        const TokenPlace place{s.file, s.line, at.token};
        const Named named = namedAt(*m, place);
        std::string text;
        if (named.symbol >= 0)
            text = symbolText(*m, m->symbols[named.symbol]);
        else if (!named.name.empty())
            text = "**" + named.name + "** is not defined where the assembler looks it up";
        else if (at.token == s.wordToken && s.placed)
            text = "**" + s.tokens[s.wordToken] + "** at nibble address " +
                   format("`0x%03X` (%u)", s.address, s.address) + ", " + std::to_string(s.size) +
                   " nibbles, lowest address first: `" + nibbles(s) + "`";
        else if (at.token > s.wordToken && numericOperand(s, at.token - s.wordToken))
            text = numberText(s.tokens[at.token]);
        if (text.empty()) return nullptr;
        const auto range = rangeOf(*m, place);
        json result = {{"contents", {{"kind", "markdown"}, {"value", text}}}};
        if (range) result["range"] = toJson(*range);
        return result;
    }
    return nullptr;
}

}  // namespace qvek::lsp
