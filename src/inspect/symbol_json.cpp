#include "inspect/symbol_json.h"

#include <nlohmann/json.hpp>
#include <string>

#include "inspect/symbol_map.h"
#include "output/load_file.h"

namespace qvek {

namespace {

using ordered = nlohmann::ordered_json;

// A name's bytes as the map has always given them: each byte the character of
// its number (Latin-1), so that any name reads back byte for byte.
std::string latin1(const char* bytes) {
    std::string text;
    for (const char* p = bytes; *p != '\0'; p++) {
        const auto c = static_cast<unsigned char>(*p);
        if (c < 0x80) {
            text += *p;
        } else {
            text += static_cast<char>(0xC0 | c >> 6);
            text += static_cast<char>(0x80 | (c & 0x3F));
        }
    }
    return text;
}

// A value on one line, a blank after each colon and comma, every character
// beyond ASCII escaped: the map's layout, one element a line.
std::string inline_(const ordered& value) {
    if (value.is_object()) {
        std::string text = "{";
        for (auto it = value.begin(); it != value.end(); ++it)
            text += (it == value.begin() ? "" : ", ") + ordered(it.key()).dump(-1, ' ', true) + ": " + inline_(*it);
        return text + "}";
    }
    if (value.is_array()) {
        std::string text = "[";
        for (size_t i = 0; i < value.size(); i++) text += (i == 0 ? "" : ", ") + inline_(value[i]);
        return text + "]";
    }
    return value.dump(-1, ' ', true);
}

void put(FILE* out, const std::string& text) { std::fwrite(text.data(), 1, text.size(), out); }

// Each element of an array starts its own line.
void beginElement(FILE* out, uint32_t index) { std::fputs(index == 0 ? "\n    " : ",\n    ", out); }
void endArray(FILE* out, uint32_t count) { std::fputs(count == 0 ? "]" : "\n  ]", out); }

ordered rowObject(const AsmState& st, const Record& record, const SymbolRow& row) {
    ordered element;
    if (row.kind == SymbolKind::Pattern)
        element["label"] = row.name[0] == '\0' ? ordered(nullptr) : ordered(latin1(row.name));
    else
        element["name"] = latin1(row.name);
    if (row.kind == SymbolKind::Label) element["address"] = row.value;
    if (row.kind == SymbolKind::Constant) element["value"] = row.value;
    if (row.kind == SymbolKind::Pattern) {
        element["slot"] = row.entry;
        element["hostAddress"] = row.value;
        element["value"] = st.patternMemory[row.entry].value;
    }
    if (row.site.file != kNoFile) {
        element["file"] = latin1(record.files.name(row.site.file));
        element["line"] = row.site.line;
    }
    element["used"] = row.used;
    return element;
}

}  // namespace

void beginSymbolJson(const AsmState& st, const Record& record, const char* sourceName, FILE* out) {
    ordered files = ordered::array();
    for (uint32_t i = 0; i < record.files.count(); i++) files.push_back(latin1(record.files.name(i)));
    std::fprintf(out, "{\n  \"version\": %d,\n  \"source\": ", kSymbolMapVersion);
    put(out, inline_(latin1(sourceName)) + ",\n  \"files\": " + inline_(files));

    // One array per kind, the rows of a kind being adjacent.
    const std::vector<SymbolRow> rows = symbolRows(st, record, true);
    constexpr const char* kArrays[] = {"labels", "constants", "patterns"};
    size_t i = 0;
    for (int kind = 0; kind < 3; kind++) {
        std::fprintf(out, ",\n  \"%s\": [", kArrays[kind]);
        uint32_t count = 0;
        for (; i < rows.size() && static_cast<int>(rows[i].kind) == kind; i++) {
            beginElement(out, count++);
            put(out, inline_(rowObject(st, record, rows[i])));
        }
        endArray(out, count);
    }

    const ordered usage = {{"programNibbles", st.programHighWater},
                           {"programCapacity", kProgramNibbles},
                           {"programPercent", usagePercent(st.programHighWater, kProgramNibbles)},
                           {"patternWords", st.patternHighWater},
                           {"patternCapacity", kPatternSlots},
                           {"patternPercent", usagePercent(st.patternHighWater, kPatternSlots)}};
    put(out, ",\n  \"usage\": " + inline_(usage) + ",\n  \"statements\": [");
}

void observeJsonStatements(void* context, const AsmState& st, const AsmEvent& event) {
    if (event.kind != EventKind::Statement || event.pass != 2) return;
    const StatementEvent& s = event.statement;
    if (s.size == 0 || !s.completed) return;
    auto& statements = *static_cast<JsonStatements*>(context);
    // From the main source down to this statement's file.
    ordered includes = ordered::array();
    for (uint32_t depth = event.depth + 1; depth-- > 0;) includes.push_back(latin1(st.includeNames[depth]));
    const ordered element = {{"address", s.address},
                             {"size", s.size},
                             {"file", latin1(event.file)},
                             {"line", event.line},
                             {"includes", std::move(includes)}};
    beginElement(statements.out, statements.written++);
    put(statements.out, inline_(element));
}

void endSymbolJson(const JsonStatements& statements) {
    endArray(statements.out, statements.written);
    std::fputs("\n}\n", statements.out);
}

}  // namespace qvek
