// Definition, references and rename: every name is found through the entries
// the passes resolved it to, never by searching the text.
#include <algorithm>
#include <cstring>

#include "core/symbols.h"
#include "lsp/features.h"
#include "lsp/query.h"
#include "lsp/workspace.h"

namespace qvek::lsp {

namespace {

// The name at a position, in the first model that reads the file and has a token there.
struct Found {
    const Model* model = nullptr;
    TokenAt at;
    Named named;
};

Found find(const Models& models, const std::string& path, Position position) {
    for (const auto& m : models) {
        const int file = m->fileIndex(path);
        if (file < 0) continue;
        const TokenAt at = tokenAt(*m, static_cast<uint32_t>(file), position);
        if (at.statement == nullptr) continue;
        return {m.get(), at, namedAt(*m, {at.statement->file, at.statement->line, at.token})};
    }
    return {};
}

void addLocation(json& list, const json& location) {
    if (std::find(list.begin(), list.end(), location) == list.end()) list.push_back(location);
}

// What the assembler reads as a name: '#' and then characters that neither
// end a token nor start a comment, no longer than a token, nor upper-cased into another.
bool readableName(const std::string& name) {
    if (name.size() < 2 || name.size() > kMaxTokenLength || name[0] != '#') return false;
    for (unsigned char c : name)
        if (c <= ' ' || c == '*' || c == 0x7F) return false;
    return true;
}

std::string upper(std::string s) {
    for (char& c : s)
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    return s;
}

}  // namespace

json definition(const Models& models, const std::string& path, Position position) {
    const Found f = find(models, path, position);
    if (f.model == nullptr) return nullptr;
    const Statement& s = *f.at.statement;
    if (s.code == StatementCode::Inc && f.at.token == s.wordToken + 1 && s.include >= 0)
        return {{"uri", uriOfPath(f.model->files[s.include].path)}, {"range", toJson({{0, 0}, {0, 0}})}};
    if (f.named.symbol < 0) return nullptr;
    const Symbol& symbol = f.model->symbols[f.named.symbol];
    return locationOf(*f.model, symbol.place);
}

json references(const Models& models, const std::string& path, Position position, bool withDeclaration) {
    const Found f = find(models, path, position);
    json list = json::array();
    if (f.model == nullptr || f.named.name.empty()) return list;
    const Symbol* target = f.named.symbol >= 0 ? &f.model->symbols[f.named.symbol] : nullptr;
    // Across every main source reading the file: the same definition is the same place.
    for (const auto& m : models) {
        for (size_t i = 0; i < m->symbols.size(); i++) {
            const Symbol& s = m->symbols[i];
            if (target == nullptr || s.table != target->table || s.name != target->name || s.shadowed) continue;
            if (withDeclaration) addLocation(list, locationOf(*m, s.place));
            for (const Use& u : m->uses)
                if (u.symbol == static_cast<int>(i)) addLocation(list, locationOf(*m, u.place));
        }
    }
    return list;
}

json prepareRename(const Models& models, const std::string& path, Position position) {
    const Found f = find(models, path, position);
    if (f.model == nullptr || f.named.name.empty()) return nullptr;
    const auto range = rangeOf(*f.model, {f.at.statement->file, f.at.statement->line, f.at.token});
    if (!range) return nullptr;
    return {{"range", toJson(*range)}, {"placeholder", f.named.name}};
}

json rename(const Models& models, const std::string& path, Position position, const std::string& newName) {
    const Found f = find(models, path, position);
    if (f.model == nullptr || f.named.name.empty()) throw RequestError{RequestFailed, "there is no name here"};
    if (!readableName(newName))
        throw RequestError{InvalidParams, "'" + newName + "' is not a name: a '#' and up to " +
                                              std::to_string(kMaxTokenLength - 1) + " characters, no blank and no '*'"};
    const std::string stored = upper(newName);
    if (stored != f.named.name)
        for (const auto& m : models)
            for (const Symbol& s : m->symbols)
                if (s.name == stored)
                    throw RequestError{RequestFailed, newName + " is already defined on line " +
                                                          std::to_string(s.place.line + 1) + " of " +
                                                          m->files[s.place.file].path};
    json changes = json::object();
    for (const auto& m : models) {
        const std::vector<TokenPlace> places = placesOfName(*m, f.named.table, f.named.name);
        for (const TokenPlace& p : places) {
            const auto range = rangeOf(*m, p);
            if (!range) continue;
            // The line must still be one the reader takes whole, every occurrence on it renamed.
            const Statement* line = nullptr;
            for (const Statement& s : m->statements)
                if (s.file == p.file && s.line == p.line) line = &s;
            const auto onLine = std::count_if(places.begin(), places.end(), [&](const TokenPlace& q) {
                return q.file == p.file && q.line == p.line;
            });
            if (line != nullptr) {
                const auto grown = static_cast<long long>(line->tokens.lineLength()) +
                                   onLine * (static_cast<long long>(stored.size()) -
                                             static_cast<long long>(f.named.name.size()));
                if (grown > static_cast<long long>(kMaxLineLength))
                    throw RequestError{RequestFailed, "line " + std::to_string(p.line + 1) + " of " +
                                                          m->files[p.file].path + " would be longer than " +
                                                          std::to_string(kMaxLineLength) + " characters"};
            }
            json& edits = changes[uriOfPath(m->files[p.file].path)];
            const json edit = {{"range", toJson(*range)}, {"newText", newName}};
            if (!edits.is_array()) edits = json::array();
            if (std::find(edits.begin(), edits.end(), edit) == edits.end()) edits.push_back(edit);
        }
    }
    return {{"changes", changes}};
}

}  // namespace qvek::lsp
