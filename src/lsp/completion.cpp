// Completion from the assembler's own tables: statement words where the
// statement word goes, and at an operand the names of the one table that
// operand is looked up in, found from the instruction formats.
#include <algorithm>
#include <map>

#include "core/keywords.h"
#include "lsp/features.h"
#include "lsp/lines.h"
#include "lsp/query.h"

namespace qvek::lsp {

namespace {

// CompletionItemKind values of the protocol.
constexpr int kKeywordItem = 14;
constexpr int kFunctionItem = 3;
constexpr int kConstantItem = 21;
constexpr int kFieldItem = 5;
constexpr int kOperatorItem = 24;

bool isOperator(StatementCode c) {
    return c == StatementCode::Not || c == StatementCode::And || c == StatementCode::Or || c == StatementCode::Xor;
}

json item(const std::string& label, int kind, const std::string& detail) {
    json i = {{"label", label}, {"kind", kind}};
    if (!detail.empty()) i["detail"] = detail;
    return i;
}

// The pattern names a lookup finds once the passes are done: a later PAT at a
// slot takes the slot's label from the name before, and of the slots a name
// still labels the lowest is the one found.
std::vector<const Symbol*> patternNamesFound(const Model& m) {
    std::map<uint32_t, const Symbol*> bySlot;
    for (const Symbol& s : m.symbols)
        if (s.table == Table::Pattern) bySlot[s.value] = &s;
    std::map<std::string_view, const Symbol*> byName;
    for (const auto& [slot, s] : bySlot) byName.emplace(s->name, s);
    std::vector<const Symbol*> found;
    for (const auto& [name, s] : byName) found.push_back(s);
    return found;
}

void addNames(json& items, const Models& models, Table table) {
    const int kind = table == Table::Label ? kFunctionItem : table == Table::Constant ? kConstantItem : kFieldItem;
    std::vector<std::string> seen;
    for (const auto& m : models) {
        std::vector<const Symbol*> names;
        if (table == Table::Pattern) names = patternNamesFound(*m);
        for (const Symbol& s : m->symbols)
            if (table != Table::Pattern && s.table == table && !s.shadowed) names.push_back(&s);
        for (const Symbol* name : names) {
            const Symbol& s = *name;
            if (std::find(seen.begin(), seen.end(), s.name) != seen.end()) continue;
            seen.push_back(s.name);
            std::string detail = hexAndDecimal(s.value);
            if (table == Table::Pattern)
                detail = "slot " + std::to_string(s.value) + ", value " + hexAndDecimal(s.word);
            items.push_back(item(s.name, kind, detail));
        }
    }
}

// The table an operand is looked up in, by the statement word; false when it names none.
bool operandTable(StatementCode code, uint32_t operand, Table* table) {
    if (const InstructionFormat* format = instructionFormat(code)) {
        for (uint8_t i = 0; i < format->fieldCount; i++) {
            const OperandField& f = format->fields[i];
            if (f.operand != operand || f.fixedText != nullptr) continue;
            *table = f.kind == PatternLabel ? Table::Pattern : f.kind == Constant ? Table::Constant : Table::Label;
            return true;
        }
        return false;
    }
    *table = Table::Constant;
    switch (code) {
        case StatementCode::Def: return operand >= 2;
        case StatementCode::Pat: return operand <= 2;
        case StatementCode::Org: return operand == 2;
        default: return false;
    }
}

}  // namespace

json completion(const Models& models, const Text& text, Position position) {
    // The assembler's line, which a lone carriage return does not end.
    const size_t offset = text.offsetOf(position);
    const uint32_t sourceLine = text.sourceLineAt(offset);
    const std::string_view line = text.sourceLine(sourceLine);
    const size_t cursor = std::min(offset - text.sourceLineStart(sourceLine), line.size());
    json items = json::array();
    if (commentStart(line) < cursor) return items;
    // Which token the cursor is in or about to start.
    const std::vector<Span> spans = tokenSpans(line.substr(0, cursor));
    uint32_t token = static_cast<uint32_t>(spans.size());
    if (!spans.empty() && spans.back().end == cursor) token--;
    const bool labelLine = !line.empty() && line[0] == '#';
    const uint32_t wordToken = labelLine ? 1 : 0;
    if (token < wordToken) return items;
    if (token == wordToken) {
        for (const Keyword& k : kKeywords)
            if (!isOperator(k.code)) items.push_back(item(k.word, kKeywordItem, ""));
        return items;
    }
    std::string word(line.substr(spans[wordToken].begin, spans[wordToken].end - spans[wordToken].begin));
    for (char& c : word)
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    const StatementCode code = lookupKeyword(word.c_str());
    const uint32_t operand = token - wordToken;
    if (code == StatementCode::Org && operand == 1) {
        for (const char* segment : {"PGM", "PAT"}) items.push_back(item(segment, kKeywordItem, ""));
        return items;
    }
    Table table;
    if (!operandTable(code, operand, &table)) return items;
    addNames(items, models, table);
    if (code == StatementCode::Def)
        for (const Keyword& k : kKeywords)
            if (isOperator(k.code)) items.push_back(item(k.word, kOperatorItem, ""));
    return items;
}

}  // namespace qvek::lsp
