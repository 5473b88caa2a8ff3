// The check's diagnostics as the editor gets them: each on its range, with its
// code, severity, related places and the Unnecessary tag of an unused name;
// and every fix-it offered as a quick fix. Reads the models; writes nothing.
#include <algorithm>
#include <charconv>
#include <optional>
#include <set>

#include "lsp/features.h"
#include "lsp/query.h"
#include "lsp/workspace.h"

namespace qvek::lsp {

namespace {

// The protocol's DiagnosticSeverity and DiagnosticTag.
constexpr int kSeverityError = 1;
constexpr int kSeverityWarning = 2;
constexpr int kSeverityInformation = 3;
constexpr int kTagUnnecessary = 1;

int severityOf(diag::Level level) {
    switch (level) {
        case diag::Level::Error: return kSeverityError;
        case diag::Level::Warning: return kSeverityWarning;
        case diag::Level::Note: break;
    }
    return kSeverityInformation;
}

}  // namespace

// The one conversion of a place the check names (a line as the assembler counts
// it, columns in bytes, the last included) into the editor's range; no column
// means the whole line. After a lone carriage return the editor sees the
// assembler's line begin earlier than its token: the range starts there.
Range editorRange(const Text& text, const diag::Range& place) {
    const uint32_t line = place.line > 0 ? static_cast<uint32_t>(place.line - 1) : 0;
    const Position begins{text.editorLineOf(line), 0};
    const Position ends = text.positionOf(line, text.sourceLine(line).size());
    if (place.firstColumn == 0) return {begins, ends};
    const uint32_t last = std::max(place.lastColumn, place.firstColumn);
    Range r{text.positionOf(line, place.firstColumn - 1), text.positionOf(line, last)};
    if (r.start.line != begins.line) r.start = begins;
    return r;
}

namespace {

// The range of a place in the text this model read; null when it read no such file.
std::optional<Range> rangeIn(const Model& model, const diag::Range& place) {
    const int file = model.fileOf(place);
    if (file < 0 || model.files[file].text == nullptr) return std::nullopt;
    return editorRange(*model.files[file].text, place);
}

// Built member by member, as toJson is: a file may have thousands.
json diagnosticJson(const Model& model, const diag::Diagnostic& d, const Range& range) {
    json out = json::object();
    out["range"] = toJson(range);
    out["severity"] = severityOf(d.level);
    out["code"] = d.code;
    out["source"] = "qvek";
    // The assembler's own words below the plain ones: what qvek prints for the same mistake.
    out["message"] = d.historical.empty() ? d.message : d.message + "\n" + d.historical;
    if (d.unnecessary) out["tags"] = json::array({kTagUnnecessary});
    json related = json::array();
    for (const diag::Related& r : d.related) {
        const std::optional<Range> at = rangeIn(model, r.range);
        if (!at) continue;
        json location = json::object();
        location["uri"] = uriOfPath(model.files[model.fileOf(r.range)].path);
        location["range"] = toJson(*at);
        json item = json::object();
        item["location"] = std::move(location);
        item["message"] = r.message;
        related.push_back(std::move(item));
    }
    if (!related.empty()) out["relatedInformation"] = std::move(related);
    return out;
}

// Calls visit(diagnostic, its range, a maker of its JSON) for each diagnostic of
// the models on a file, once each: the same one through two main sources is one.
// The JSON is made only when asked for, or for that comparison.
template <typename Visit>
void eachDiagnostic(const Models& models, const std::string& path, Visit visit) {
    std::set<std::string> seen;
    for (const auto& m : models) {
        const int file = m->fileIndex(path);
        if (file < 0) continue;
        for (const ShownDiagnostic& shown : m->shown[file]) {
            const diag::Diagnostic& d = m->report.diagnostics[shown.diagnostic];
            const Range range = editorRange(*m->files[file].text, shown.place);
            if (models.size() == 1) {
                visit(*m, d, range, [&] { return diagnosticJson(*m, d, range); });
                continue;
            }
            json item = diagnosticJson(*m, d, range);
            if (seen.insert(item.dump(-1, ' ', false, json::error_handler_t::replace)).second)
                visit(*m, d, range, [&] { return std::move(item); });
        }
    }
}

void appendNumber(std::string& key, uint64_t n) {
    char digits[24];
    const auto end = std::to_chars(digits, digits + sizeof digits, n).ptr;
    key.append(digits, end);
}

// A place as the editor sees it: its range in the text it lies in, so that a
// change to that text which moves the place changes the key.
void appendPlace(std::string& key, const Text* text, const diag::Range& r) {
    if (text == nullptr) {
        key += "- ";
        return;
    }
    const Range range = editorRange(*text, r);
    for (const uint32_t n : {range.start.line, range.start.character, range.end.line, range.end.character}) {
        appendNumber(key, n);
        key += ':';
    }
    key += ' ';
}

bool before(const Position& a, const Position& b) {
    return a.line != b.line ? a.line < b.line : a.character < b.character;
}

bool overlaps(const Range& a, const Range& b) { return !before(a.end, b.start) && !before(b.end, a.start); }

}  // namespace

json diagnostics(const Models& models, const std::string& path) {
    json list = json::array();
    eachDiagnostic(models, path, [&](const Model&, const diag::Diagnostic&, const Range&, auto item) {
        list.push_back(item());
    });
    return list;
}

std::string diagnosticsKey(const Models& models, const std::string& path) {
    std::string key;
    for (const auto& m : models) {
        const int file = m->fileIndex(path);
        if (file < 0) continue;
        key += '|';
        for (const ShownDiagnostic& shown : m->shown[file]) {
            const diag::Diagnostic& d = m->report.diagnostics[shown.diagnostic];
            key += d.code;
            key += static_cast<char>('0' + static_cast<int>(d.level));
            key += d.unnecessary ? 'u' : ' ';
            appendPlace(key, m->files[file].text.get(), shown.place);
            key += d.message;
            key += '\n';
            key += d.historical;
            key += '\n';
            for (const diag::Related& r : d.related) {
                const int at = m->fileOf(r.range);
                if (at < 0) continue;
                key += m->files[at].path;
                key += ' ';
                appendPlace(key, m->files[at].text.get(), r.range);
                key += r.message;
                key += '\n';
            }
        }
    }
    return key;
}

json codeActions(const Models& models, const std::string& path, const Range& requested) {
    json actions = json::array();
    eachDiagnostic(models, path, [&](const Model& m, const diag::Diagnostic& d, const Range& range, auto item) {
        if (d.fixes.empty() || !overlaps(range, requested)) return;
        json changes = json::object();
        for (const diag::FixIt& fix : d.fixes) {
            const std::optional<Range> at = rangeIn(m, fix.range);
            if (!at) return;  // a fix in a file this assembly did not read is no certain fix
            const std::string uri = uriOfPath(m.files[m.fileOf(fix.range)].path);
            changes[uri].push_back({{"range", toJson(*at)}, {"newText", fix.replacement}});
        }
        const std::string& first = d.fixes.front().replacement;
        actions.push_back({{"title", first.empty() ? "Remove it" : "Replace with '" + first + "'"},
                           {"kind", "quickfix"},
                           {"diagnostics", json::array({item()})},
                           {"isPreferred", true},
                           {"edit", {{"changes", std::move(changes)}}}});
    });
    return actions;
}

}  // namespace qvek::lsp
