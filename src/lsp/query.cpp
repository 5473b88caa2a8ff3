#include "lsp/query.h"

#include <cstdio>

#include "lsp/lines.h"
#include "lsp/workspace.h"

namespace qvek::lsp {

TokenAt tokenAt(const Model& model, uint32_t file, Position position) {
    if (file >= model.files.size() || model.files[file].text == nullptr) return {};
    const Text& text = *model.files[file].text;
    // The editor's position in the assembler's line that holds it.
    const size_t offset = text.offsetOf(position);
    const uint32_t sourceLine = text.sourceLineAt(offset);
    const size_t byte = offset - text.sourceLineStart(sourceLine);
    const std::vector<Span> spans = tokenSpans(text.sourceLine(sourceLine));
    // The cursor may stand just after a token's last character.
    int token = -1;
    for (size_t i = 0; i < spans.size(); i++)
        if (byte >= spans[i].begin && byte <= spans[i].end) token = static_cast<int>(i);
    if (token < 0) return {};
    for (const Statement& s : model.statements)
        if (s.file == file && s.line == sourceLine && static_cast<size_t>(token) < s.tokens.size())
            return {&s, static_cast<uint32_t>(token)};
    return {};
}

std::optional<Range> rangeOf(const Model& model, const TokenPlace& place) {
    if (place.file >= model.files.size() || model.files[place.file].text == nullptr) return std::nullopt;
    const Text& text = *model.files[place.file].text;
    const std::vector<Span> spans = tokenSpans(text.sourceLine(place.line));
    if (place.token >= spans.size()) return std::nullopt;
    const Span& s = spans[place.token];
    return Range{text.positionOf(place.line, s.begin), text.positionOf(place.line, s.end)};
}

Range lineRange(const Model& model, uint32_t file, uint32_t line) {
    if (file >= model.files.size() || model.files[file].text == nullptr) return {{line, 0}, {line, 0}};
    const Text& text = *model.files[file].text;
    const std::string_view bytes = text.sourceLine(line);
    const std::vector<Span> spans = tokenSpans(bytes);
    if (spans.empty()) return {{line, 0}, text.positionOf(line, bytes.size())};
    return {text.positionOf(line, spans.front().begin), text.positionOf(line, spans.back().end)};
}

namespace {

json positionJson(const Position& p) {
    json out = json::object();
    out["line"] = p.line;
    out["character"] = p.character;
    return out;
}

}  // namespace

// Built member by member: nested braces would copy each inner object, and
// thousands of diagnostics each carry a range.
json toJson(const Range& r) {
    json out = json::object();
    out["start"] = positionJson(r.start);
    out["end"] = positionJson(r.end);
    return out;
}

json locationOf(const Model& model, const TokenPlace& place) {
    const std::optional<Range> range = rangeOf(model, place);
    return {{"uri", uriOfPath(model.files[place.file].path)},
            {"range", toJson(range ? *range : lineRange(model, place.file, place.line))}};
}

Named namedAt(const Model& model, const TokenPlace& place) {
    const auto same = [&](const TokenPlace& p) {
        return p.file == place.file && p.line == place.line && p.token == place.token;
    };
    for (size_t i = 0; i < model.symbols.size(); i++)
        if (same(model.symbols[i].place))
            return {static_cast<int>(i), nullptr, model.symbols[i].table, model.symbols[i].name};
    for (const Use& u : model.uses)
        if (same(u.place)) return {u.symbol, &u, u.table, u.name};
    return {};
}

std::vector<TokenPlace> placesOfName(const Model& model, Table table, const std::string& name) {
    std::vector<TokenPlace> places;
    const auto add = [&](const TokenPlace& p) {
        for (const TokenPlace& q : places)
            if (q.file == p.file && q.line == p.line && q.token == p.token) return;
        places.push_back(p);
    };
    for (const Symbol& s : model.symbols)
        if (s.table == table && s.name == name) add(s.place);
    for (const Use& u : model.uses)
        if (u.table == table && u.name == name) add(u.place);
    return places;
}

std::string hexAndDecimal(uint32_t value) {
    char text[40];
    std::snprintf(text, sizeof text, "0x%X (%u)", value, value);
    return text;
}

}  // namespace qvek::lsp
