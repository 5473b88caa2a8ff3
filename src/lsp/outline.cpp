// The outline of a file and the symbols of the workspace: every name the
// passes entered, where they entered it.
#include <algorithm>
#include <set>
#include <tuple>

#include "lsp/features.h"
#include "lsp/query.h"
#include "lsp/workspace.h"

namespace qvek::lsp {

namespace {

// SymbolKind values of the protocol.
int kindOf(Table table) {
    switch (table) {
        case Table::Label: return 12;     // Function
        case Table::Constant: return 14;  // Constant
        case Table::Pattern: break;
    }
    return 8;  // Field
}

std::string detailOf(const Symbol& s) {
    switch (s.table) {
        case Table::Label: return "address " + hexAndDecimal(s.value);
        case Table::Constant: return hexAndDecimal(s.value);
        case Table::Pattern: break;
    }
    return "slot " + std::to_string(s.value) + ", " + hexAndDecimal(s.word);
}

std::string folded(std::string s) {
    std::transform(s.begin(), s.end(), s.begin(), [](unsigned char c) { return std::toupper(c); });
    return s;
}

}  // namespace

json documentSymbols(const Models& models, const std::string& path) {
    json list = json::array();
    for (const auto& m : models) {
        const int file = m->fileIndex(path);
        if (file < 0) continue;
        for (const Symbol& s : m->symbols) {
            if (s.place.file != static_cast<uint32_t>(file)) continue;
            const auto name = rangeOf(*m, s.place);
            const Range line = lineRange(*m, s.place.file, s.place.line);
            list.push_back({{"name", s.name},
                            {"detail", detailOf(s)},
                            {"kind", kindOf(s.table)},
                            {"range", toJson(line)},
                            {"selectionRange", toJson(name ? *name : line)}});
        }
        break;  // one main source tells the file's names
    }
    return list;
}

json workspaceSymbols(const Models& models, const std::string& query) {
    json list = json::array();
    const std::string wanted = folded(query);
    std::set<std::tuple<std::string, uint32_t, uint32_t>> seen;  // a file read by two main sources
    for (const auto& m : models)
        for (const Symbol& s : m->symbols) {
            if (s.name.find(wanted) == std::string::npos) continue;
            if (!seen.insert({m->files[s.place.file].path, s.place.line, s.place.token}).second) continue;
            list.push_back({{"name", s.name}, {"kind", kindOf(s.table)}, {"location", locationOf(*m, s.place)}});
        }
    return list;
}

}  // namespace qvek::lsp
