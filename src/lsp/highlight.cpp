// What the editor draws from the assembly: semantic tokens that colour each
// token by what the passes made of it, and inlay hints with the nibble address
// of every statement in program memory.
#include <algorithm>
#include <cstdio>
#include <map>
#include <set>

#include "lsp/features.h"
#include "lsp/lines.h"
#include "lsp/query.h"

namespace qvek::lsp {

namespace {

// The legend: token types and modifiers, in the order their numbers count.
enum TokenType : uint32_t { Keyword, Directive, Operator, Label, ConstantName, PatternName, Number, Comment, FileName };
const char* const kTokenTypes[] = {"keyword",  "macro",  "operator", "function", "variable",
                                   "property", "number", "comment",  "string"};
enum TokenModifier : uint32_t { Declaration = 1, Readonly = 2 };
const char* const kTokenModifiers[] = {"declaration", "readonly"};

struct Coloured {
    uint32_t line;  // the assembler's
    size_t begin;   // bytes
    size_t end;
    uint32_t type;
    uint32_t modifiers;
};

// A coloured token where the editor shows it.
struct Shown {
    Position start;
    uint32_t length;  // UTF-16 units
    uint32_t type;
    uint32_t modifiers;
    bool operator<(const Shown& o) const {
        return start.line != o.start.line ? start.line < o.start.line : start.character < o.start.character;
    }
};

// A token that a lone carriage return splits is coloured on its first editor line only.
Shown shown(const Text& text, const Coloured& c) {
    const Position start = text.positionOf(c.line, c.begin);
    Position end = text.positionOf(c.line, c.end);
    if (end.line != start.line) end = {start.line, utf16Units(text.line(start.line), std::string_view::npos)};
    return {start, end.character - start.character, c.type, c.modifiers};
}

uint32_t typeOfTable(Table t) { return t == Table::Label ? Label : t == Table::Constant ? ConstantName : PatternName; }

// The type of a token that names nothing, by what the statement does with it.
int plainType(const Statement& s, uint32_t token) {
    if (token == s.wordToken) {
        if (s.code == StatementCode::NotAStatement) return -1;
        return instructionFormat(s.code) != nullptr ? Keyword : Directive;
    }
    if (token < s.wordToken) return -1;
    const std::string& text = s.tokens[token];
    const StatementCode c = lookupKeyword(text.c_str());
    if (s.code == StatementCode::Def &&
        (c == StatementCode::Not || c == StatementCode::And || c == StatementCode::Or || c == StatementCode::Xor))
        return Operator;
    if (s.code == StatementCode::Inc) return token == s.wordToken + 1 ? static_cast<int>(FileName) : -1;
    if (s.code == StatementCode::Org && token == s.wordToken + 1) return Directive;
    if (text.empty() || text[0] == '#' || s.code == StatementCode::NotAStatement) return -1;
    return Number;
}

const Model* modelOf(const Models& models, const std::string& path, int* file) {
    for (const auto& m : models)
        if ((*file = m->fileIndex(path)) >= 0 && m->files[*file].text != nullptr) return m.get();
    return nullptr;
}

}  // namespace

json semanticTokensLegend() { return {{"tokenTypes", kTokenTypes}, {"tokenModifiers", kTokenModifiers}}; }

json semanticTokens(const Models& models, const std::string& path) {
    int file = -1;
    const Model* m = modelOf(models, path, &file);
    json data = json::array();
    if (m == nullptr) return {{"data", data}};
    const Text& text = *m->files[file].text;
    std::map<std::tuple<uint32_t, uint32_t>, std::pair<uint32_t, uint32_t>> names;  // (line, token) -> type, modifiers
    for (const Symbol& s : m->symbols)
        if (s.place.file == static_cast<uint32_t>(file))
            names[{s.place.line, s.place.token}] = {
                typeOfTable(s.table),
                Declaration | (s.table == Table::Constant ? static_cast<uint32_t>(Readonly) : 0u)};
    for (const Use& u : m->uses)
        if (u.place.file == static_cast<uint32_t>(file))
            names.emplace(std::make_tuple(u.place.line, u.place.token),
                          std::make_pair(typeOfTable(u.table),
                                         u.table == Table::Constant ? static_cast<uint32_t>(Readonly) : 0u));
    std::vector<Coloured> tokens;
    std::set<uint32_t> lines;  // a file read twice colours its lines once
    for (const Statement& s : m->statements) {
        if (s.file != static_cast<uint32_t>(file) || !lines.insert(s.line).second) continue;
        const std::vector<Span> spans = tokenSpans(text.sourceLine(s.line));
        for (uint32_t t = 0; t < spans.size() && t < s.tokens.size(); t++) {
            const auto named = names.find({s.line, t});
            if (named != names.end()) {
                tokens.push_back({s.line, spans[t].begin, spans[t].end, named->second.first, named->second.second});
                continue;
            }
            const int type = plainType(s, t);
            if (type >= 0) tokens.push_back({s.line, spans[t].begin, spans[t].end, static_cast<uint32_t>(type), 0});
        }
    }
    for (uint32_t line = 0; line < text.sourceLineCount(); line++) {
        const std::string_view bytes = text.sourceLine(line);
        const size_t comment = commentStart(bytes);
        if (comment != std::string_view::npos) tokens.push_back({line, comment, bytes.size(), Comment, 0});
    }
    std::vector<Shown> editor;
    for (const Coloured& c : tokens) editor.push_back(shown(text, c));
    std::sort(editor.begin(), editor.end());
    uint32_t lastLine = 0, lastStart = 0;
    for (const Shown& c : editor) {
        if (c.length == 0) continue;
        data.push_back(c.start.line - lastLine);
        data.push_back(c.start.line == lastLine ? c.start.character - lastStart : c.start.character);
        data.push_back(c.length);
        data.push_back(c.type);
        data.push_back(c.modifiers);
        lastLine = c.start.line;
        lastStart = c.start.character;
    }
    return {{"data", data}};
}

json inlayHints(const Models& models, const std::string& path, uint32_t firstLine, uint32_t lastLine) {
    int file = -1;
    const Model* m = modelOf(models, path, &file);
    json hints = json::array();
    if (m == nullptr) return hints;
    // A file included twice holds its statements at two addresses: both are shown.
    std::map<uint32_t, std::string> addresses;  // by editor line
    for (const Statement& s : m->statements) {
        if (!s.placed || s.file != static_cast<uint32_t>(file)) continue;
        const uint32_t line = m->files[file].text->editorLineOf(s.line);
        if (line < firstLine || line > lastLine) continue;
        char text[16];
        std::snprintf(text, sizeof text, "0x%03X", s.address);
        std::string& label = addresses[line];
        if (!label.empty()) label += ',';
        label += text;
    }
    for (const auto& [line, label] : addresses)
        hints.push_back({{"position", {{"line", line}, {"character", 0}}},
                         {"label", label + ":"},
                         {"paddingRight", true},
                         {"tooltip", "nibble address in program memory"}});
    return hints;
}

}  // namespace qvek::lsp
