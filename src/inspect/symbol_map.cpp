#include "inspect/symbol_map.h"

#include <algorithm>
#include <cstring>
#include <vector>

#include "core/symbols.h"
#include "output/load_file.h"

namespace qvek {

namespace {

enum class Kind : uint8_t { Label, Constant, Pattern };  // in the order the table lists them
constexpr const char* kKindNames[] = {"label", "constant", "pattern"};
constexpr int kKindWidth = 8;    // "constant"
constexpr int kValueWidth = 10;  // "0x" and 8 digits

struct Row {
    Kind kind;
    uint32_t value;  // address, value or host address
    uint32_t entry;  // the table entry: the pattern slot of a pattern label
    const char* name;
    Site site;
    bool used;  // lookups of the name find this entry
};

// The entries of the three tables in table order, each with whether lookups
// find it. Only named entries, unless every entry is asked for: a DEF without
// a name and the unlabelled words a PAT stored.
std::vector<Row> rowsOf(const AsmState& st, const Record& record, bool everyEntry) {
    std::vector<Row> rows;
    for (uint32_t i = 0; i < st.labelCount; i++) {
        const char* name = programLabelName(st, i);
        rows.push_back({Kind::Label, static_cast<uint32_t>(st.programLabels[i].address), i, name, record.labels[i],
                        findProgramLabel(st, name) == static_cast<int>(i)});
    }
    for (uint32_t i = 0; i < st.definitionCount; i++) {
        const char* name = definitionName(st, i);
        if (name[0] != '\0' || everyEntry)
            rows.push_back({Kind::Constant, static_cast<uint32_t>(st.definitions[i].value), i, name,
                            record.constants[i], findDefinition(st, name) == static_cast<int>(i)});
    }
    for (uint32_t slot = 0; slot < kPatternSlots; slot++) {
        const char* label = patternLabel(st, slot);
        const bool stored = record.patterns[slot].file != kNoFile;
        if (label[0] != '\0' || (everyEntry && stored))
            rows.push_back({Kind::Pattern, 2 * slot, slot, label, record.patterns[slot],
                            findPatternLabel(st, label) == static_cast<int>(slot)});
    }
    return rows;
}

void writeSite(FILE* out, const Record& record, const Site& site) {
    if (site.file == kNoFile) return;
    std::fputs(", \"file\": ", out);
    writeJsonString(out, record.files.name(site.file));
    std::fprintf(out, ", \"line\": %d", site.line);
}

// Opens an array of objects; each element starts its own line.
void beginArray(FILE* out, const char* key) { std::fprintf(out, ",\n  \"%s\": [", key); }
void beginElement(FILE* out, uint32_t index) { std::fputs(index == 0 ? "\n    {" : ",\n    {", out); }
void endArray(FILE* out, uint32_t count) { std::fputs(count == 0 ? "]" : "\n  ]", out); }

}  // namespace

void writeJsonString(FILE* out, const char* text) {
    std::fputc('"', out);
    for (const char* p = text; *p != '\0'; p++) {
        const auto c = static_cast<unsigned char>(*p);
        if (c == '"' || c == '\\')
            std::fprintf(out, "\\%c", c);
        else if (c < 0x20 || c >= 0x7F)
            std::fprintf(out, "\\u%4.4x", c);  // control characters and bytes that are no UTF-8 alone
        else
            std::fputc(c, out);
    }
    std::fputc('"', out);
}

void writeSymbolTable(const AsmState& st, const Record& record, FILE* out) {
    std::vector<Row> rows = rowsOf(st, record, false);
    std::stable_sort(rows.begin(), rows.end(),
                     [](const Row& a, const Row& b) { return a.kind != b.kind ? a.kind < b.kind : a.value < b.value; });
    int nameWidth = 4;  // "NAME"
    for (const Row& row : rows) nameWidth = std::max(nameWidth, static_cast<int>(std::strlen(row.name)));
    std::fprintf(out, "%-*s  %-*s  %-*s  %s\n", kKindWidth, "KIND", nameWidth, "NAME", kValueWidth, "VALUE",
                 "DEFINED AT");
    for (const Row& row : rows) {
        char value[16];
        // As the listings show them: nibble addresses in 3 digits, host addresses in 4, values in 8.
        const int digits = row.kind == Kind::Label ? 3 : row.kind == Kind::Pattern ? 4 : 8;
        std::snprintf(value, sizeof value, "0x%.*x", digits, row.value);
        std::fprintf(out, "%-*s  %-*s  %-*s  %s:%d%s\n", kKindWidth, kKindNames[static_cast<int>(row.kind)], nameWidth,
                     row.name, kValueWidth, value, row.site.file == kNoFile ? "?" : record.files.name(row.site.file),
                     row.site.line, row.used ? "" : "  (unused: an earlier definition is the one used)");
    }
}

void beginSymbolJson(const AsmState& st, const Record& record, const char* sourceName, FILE* out) {
    std::fprintf(out, "{\n  \"version\": %d,\n  \"source\": ", kSymbolMapVersion);
    writeJsonString(out, sourceName);
    std::fputs(",\n  \"files\": [", out);
    for (uint32_t i = 0; i < record.files.count(); i++) {
        if (i > 0) std::fputs(", ", out);
        writeJsonString(out, record.files.name(i));
    }
    std::fputc(']', out);

    // One array per kind, the rows of a kind being adjacent.
    const std::vector<Row> rows = rowsOf(st, record, true);
    constexpr const char* kArrays[] = {"labels", "constants", "patterns"};
    size_t i = 0;
    for (int kind = 0; kind < 3; kind++) {
        beginArray(out, kArrays[kind]);
        uint32_t count = 0;
        for (; i < rows.size() && static_cast<int>(rows[i].kind) == kind; i++) {
            const Row& row = rows[i];
            beginElement(out, count++);
            std::fputs(row.kind == Kind::Pattern ? "\"label\": " : "\"name\": ", out);
            if (row.kind == Kind::Pattern && row.name[0] == '\0')
                std::fputs("null", out);
            else
                writeJsonString(out, row.name);
            if (row.kind == Kind::Label) std::fprintf(out, ", \"address\": %u", row.value);
            if (row.kind == Kind::Constant) std::fprintf(out, ", \"value\": %u", row.value);
            if (row.kind == Kind::Pattern)
                std::fprintf(out, ", \"slot\": %u, \"hostAddress\": %u, \"value\": %u", row.entry, row.value,
                             st.patternMemory[row.entry].value);
            writeSite(out, record, row.site);
            std::fprintf(out, ", \"used\": %s}", row.used ? "true" : "false");
        }
        endArray(out, count);
    }

    std::fprintf(out,
                 ",\n  \"usage\": {\"programNibbles\": %u, \"programCapacity\": %u, \"programPercent\": %u, "
                 "\"patternWords\": %u, \"patternCapacity\": %u, \"patternPercent\": %u}",
                 st.programHighWater, kProgramNibbles, usagePercent(st.programHighWater, kProgramNibbles),
                 st.patternHighWater, kPatternSlots, usagePercent(st.patternHighWater, kPatternSlots));
    beginArray(out, "statements");
}

void observeJsonStatements(void* context, const AsmState& st, const AsmEvent& event) {
    if (event.kind != EventKind::Statement || event.pass != 2) return;
    const StatementEvent& s = event.statement;
    if (s.size == 0 || !s.completed) return;
    auto& statements = *static_cast<JsonStatements*>(context);
    FILE* out = statements.out;
    beginElement(out, statements.written++);
    std::fprintf(out, "\"address\": %u, \"size\": %u, \"file\": ", s.address, s.size);
    writeJsonString(out, event.file);
    std::fprintf(out, ", \"line\": %d, \"includes\": [", event.line);
    // From the main source down to this statement's file.
    for (uint32_t depth = event.depth + 1; depth-- > 0;) {
        writeJsonString(out, st.includeNames[depth]);
        if (depth > 0) std::fputs(", ", out);
    }
    std::fputs("]}", out);
}

void endSymbolJson(const JsonStatements& statements) {
    endArray(statements.out, statements.written);
    std::fputs("\n}\n", statements.out);
}

}  // namespace qvek
