#include "diag/hints.h"

#include <algorithm>
#include <filesystem>
#include <system_error>

namespace qvek::diag {

namespace {

// Names farther than this from the one typed are no hint: a third of its length, at least one edit.
uint32_t nearEnough(const std::string& typed) { return std::max<uint32_t>(1, static_cast<uint32_t>(typed.size()) / 3); }

// The hints a check makes for undefined names: each searches a whole table, so a source with thousands
// of them is not searched thousands of times over.
constexpr uint32_t kMaxNameSearches = 200;

const char* tableWords(OperandKind table) {
    switch (table) {
        case PatternLabel: return "a pattern label";
        case Constant: return "a constant";
        case JumpLabel: break;
    }
    return "a program label";
}

// A replacement shown in the case the source was typed in: lower case stays lower case.
std::string inTypedCase(const Report& report, const Place& at, const std::string& replacement) {
    const Range r = rangeOf(report, at);
    if (r.firstColumn == 0) return replacement;
    const std::string& line = report.files[at.file].lines[at.line - 1];
    bool lower = false, upper = false;
    for (uint32_t c = r.firstColumn; c <= r.lastColumn; c++) {
        lower |= line[c - 1] >= 'a' && line[c - 1] <= 'z';
        upper |= line[c - 1] >= 'A' && line[c - 1] <= 'Z';
    }
    if (!lower || upper) return replacement;
    std::string text = replacement;
    for (char& c : text)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return text;
}

void addNote(const Gathered& g, Collector& c, Code code, const Place& at, std::string message,
             const std::string* replacement = nullptr) {
    Diagnostic note = makeDiagnostic(g.report, code, at, std::move(message));
    if (replacement != nullptr && note.range.firstColumn > 0)
        note.fixes.push_back({note.range, inTypedCase(g.report, at, *replacement)});
    c.add(std::move(note));
}

// Ends a list of candidates as a question: "`A`", "`A` or `B`".
std::string either(const std::vector<std::string>& names) {
    std::string text;
    for (size_t i = 0; i < names.size(); i++) text += (i == 0 ? "" : i + 1 == names.size() ? " or " : ", ") + ("`" + names[i] + "`");
    return text;
}

}  // namespace

uint32_t editDistance(const std::string& a, const std::string& b, uint32_t limit) {
    const size_t n = a.size(), m = b.size();
    if ((n > m ? n - m : m - n) > limit) return limit + 1;
    // Three rows of the optimal string alignment table.
    std::vector<uint32_t> before(m + 1), previous(m + 1), row(m + 1);
    for (size_t j = 0; j <= m; j++) previous[j] = static_cast<uint32_t>(j);
    for (size_t i = 1; i <= n; i++) {
        row[0] = static_cast<uint32_t>(i);
        uint32_t least = row[0];
        for (size_t j = 1; j <= m; j++) {
            const uint32_t cost = a[i - 1] == b[j - 1] ? 0 : 1;
            row[j] = std::min({previous[j] + 1, row[j - 1] + 1, previous[j - 1] + cost});
            if (i > 1 && j > 1 && a[i - 1] == b[j - 2] && a[i - 2] == b[j - 1]) row[j] = std::min(row[j], before[j - 2] + 1);
            least = std::min(least, row[j]);
        }
        if (least > limit) return limit + 1;
        std::swap(before, previous);
        std::swap(previous, row);
    }
    return std::min(previous[m], limit + 1);
}

void hintWord(const Gathered& g, const Place& at, const std::string& word, Collector& c) {
    const uint32_t limit = nearEnough(word);
    uint32_t best = limit + 1;
    std::vector<std::string> nearest;
    for (const Keyword& k : kKeywords) {
        // The operators of a DEF expression are no statement words.
        if (k.code == StatementCode::Not || k.code == StatementCode::And || k.code == StatementCode::Or ||
            k.code == StatementCode::Xor)
            continue;
        const uint32_t d = editDistance(word, k.word, limit);
        if (d > best || d > limit) continue;
        if (d < best) nearest.clear();
        best = d;
        nearest.push_back(k.word);
    }
    if (nearest.empty()) return;
    addNote(g, c, Code::MaybeWord, at, "did you mean " + either(nearest) + "?",
            nearest.size() == 1 ? &nearest[0] : nullptr);
}

// Every name a table holds, once each.
std::vector<std::string> namesOf(const Gathered& g, OperandKind table) {
    std::vector<std::string> names;
    for (uint32_t i = 0; i < g.definitions.size(); i++)
        if (g.definitions[i].table == table && live(g, i)) names.emplace_back(nameOf(g, g.definitions[i]));
    std::sort(names.begin(), names.end());
    names.erase(std::unique(names.begin(), names.end()), names.end());
    return names;
}

void hintName(const Gathered& g, const Place& at, OperandKind table, const std::string& name, Collector& c) {
    if (const int32_t found = definitionFound(g, table, name.c_str()); found >= 0) {
        // Defined, but after this use: constants and pattern labels are looked up as the first pass meets them.
        Diagnostic note = makeDiagnostic(g.report, Code::DefinedLater, at,
                                         "`" + name + "` is defined only later, and a use finds only definitions before it");
        note.related.push_back({rangeOf(g.report, g.definitions[found].place), "defined here"});
        c.add(std::move(note));
        return;
    }
    for (int other = 0; other < 3; other++) {
        const int32_t found = other == table ? -1 : definitionFound(g, static_cast<OperandKind>(other), name.c_str());
        if (found < 0) continue;
        Diagnostic note = makeDiagnostic(g.report, Code::OtherTable, at,
                                         "`" + name + "` is " + tableWords(static_cast<OperandKind>(other)) + ", not " +
                                             tableWords(table));
        note.related.push_back({rangeOf(g.report, g.definitions[found].place), "defined here"});
        c.add(std::move(note));
        return;
    }
    if (g.nameSearches++ >= kMaxNameSearches) return;
    const uint32_t limit = nearEnough(name);
    uint32_t best = limit + 1;
    std::vector<std::string> nearest;
    for (const std::string& candidate : namesOf(g, table)) {
        const uint32_t d = editDistance(name, candidate, std::min(best, limit));
        if (d > limit || d > best) continue;
        if (d < best) nearest.clear();
        best = d;
        nearest.push_back(candidate);
    }
    if (nearest.empty()) return;
    addNote(g, c, Code::MaybeName, at, "did you mean " + either(nearest) + "?",
            nearest.size() == 1 ? &nearest[0] : nullptr);
}

void hintMissingHash(const Gathered& g, const Place& at, OperandKind table, const std::string& token, Collector& c) {
    const std::string name = "#" + token;
    if (definitionFound(g, table, name.c_str()) < 0) return;
    addNote(g, c, Code::MissingHash, at, std::string("did you mean ") + tableWords(table) + " `" + name + "`?", &name);
}

void hintIncludeCase(const Gathered& g, const Place& at, const std::string& name, Collector& c) {
    // Only files on disk have folders to look in; an editor's texts are the opener's own.
    if (g.options.opener != nullptr || name.empty()) return;
    namespace fs = std::filesystem;
    const fs::path path(name);
    const fs::path folder = path.has_parent_path() ? path.parent_path() : fs::path(".");
    const std::string wanted = path.filename().string();
    std::error_code failed;
    fs::directory_iterator entries(folder, failed);
    if (failed) return;
    const auto upper = [](std::string s) {
        for (char& c : s)
            if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
        return s;
    };
    for (uint32_t looked = 0; entries != fs::directory_iterator() && looked < 100000; entries.increment(failed), looked++) {
        if (failed) return;
        const std::string found = entries->path().filename().string();
        if (found == wanted || upper(found) != wanted) continue;
        addNote(g, c, Code::IncludeCase, at,
                "INC names are read in upper case, so this opens `" + name + "`; the file `" +
                    (path.has_parent_path() ? (folder / found).string() : found) + "` differs only in case");
        return;
    }
}

}  // namespace qvek::diag
