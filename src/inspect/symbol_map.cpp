#include "inspect/symbol_map.h"

#include <algorithm>
#include <cstring>
#include <vector>

#include "core/symbols.h"

namespace qvek {

namespace {

constexpr const char* kKindNames[] = {"label", "constant", "pattern"};
constexpr int kKindWidth = 8;    // "constant"
constexpr int kValueWidth = 10;  // "0x" and 8 digits

}  // namespace

// Only named entries, unless every entry is asked for: a DEF without a name
// and the unlabelled words a PAT stored.
std::vector<SymbolRow> symbolRows(const AsmState& st, const Record& record, bool everyEntry) {
    std::vector<SymbolRow> rows;
    for (uint32_t i = 0; i < st.labelCount; i++) {
        const char* name = programLabelName(st, i);
        rows.push_back({SymbolKind::Label, static_cast<uint32_t>(st.programLabels[i].address), i, name,
                        record.labels[i], findProgramLabel(st, name) == static_cast<int>(i)});
    }
    for (uint32_t i = 0; i < st.definitionCount; i++) {
        const char* name = definitionName(st, i);
        if (name[0] != '\0' || everyEntry)
            rows.push_back({SymbolKind::Constant, static_cast<uint32_t>(st.definitions[i].value), i, name,
                            record.constants[i], findDefinition(st, name) == static_cast<int>(i)});
    }
    for (uint32_t slot = 0; slot < kPatternSlots; slot++) {
        const char* label = patternLabel(st, slot);
        const bool stored = record.patterns[slot].file != kNoFile;
        if (label[0] != '\0' || (everyEntry && stored))
            rows.push_back({SymbolKind::Pattern, 2 * slot, slot, label, record.patterns[slot],
                            findPatternLabel(st, label) == static_cast<int>(slot)});
    }
    return rows;
}

void writeSymbolTable(const AsmState& st, const Record& record, FILE* out) {
    std::vector<SymbolRow> rows = symbolRows(st, record, false);
    std::stable_sort(rows.begin(), rows.end(), [](const SymbolRow& a, const SymbolRow& b) {
        return a.kind != b.kind ? a.kind < b.kind : a.value < b.value;
    });
    int nameWidth = 4;  // "NAME"
    for (const SymbolRow& row : rows) nameWidth = std::max(nameWidth, static_cast<int>(std::strlen(row.name)));
    std::fprintf(out, "%-*s  %-*s  %-*s  %s\n", kKindWidth, "KIND", nameWidth, "NAME", kValueWidth, "VALUE",
                 "DEFINED AT");
    for (const SymbolRow& row : rows) {
        char value[16];
        // As the listings show them: nibble addresses in 3 digits, host addresses in 4, values in 8.
        const int digits = row.kind == SymbolKind::Label ? 3 : row.kind == SymbolKind::Pattern ? 4 : 8;
        std::snprintf(value, sizeof value, "0x%.*x", digits, row.value);
        std::fprintf(out, "%-*s  %-*s  %-*s  %s:%d%s\n", kKindWidth, kKindNames[static_cast<int>(row.kind)], nameWidth,
                     row.name, kValueWidth, value, row.site.file == kNoFile ? "?" : record.files.name(row.site.file),
                     row.site.line, row.used ? "" : "  (unused: an earlier definition is the one used)");
    }
}

}  // namespace qvek
