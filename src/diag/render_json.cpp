// The report for tools: the project's own JSON document (its keys stay as they
// are under "version": 1, docs/diagnostics-json.md) and a SARIF 2.1.0 log for
// code scanning, with a rule for every code of the engine's table. Every
// string passes through nlohmann-json, which escapes it.
#include <algorithm>
#include <nlohmann/json.hpp>

#include "diag/engine.h"
#include "diag/render.h"
#include "output/load_file.h"

namespace qvek::diag {

namespace {

using ordered = nlohmann::ordered_json;

std::string dump(const ordered& document) {
    return document.dump(2, ' ', true) + "\n";  // ASCII only: every other character escaped
}

std::string fileName(const Report& report, uint32_t file) {
    return file < report.files.size() ? utf8Of(report.files[file].name) : "";
}

// ---- The JSON report: columns in bytes, as the files hold them.

ordered jsonRange(const Report& report, const Range& r) {
    ordered range = {{"file", fileName(report, r.file)}, {"line", r.line}};
    range["column"] = r.firstColumn > 0 ? ordered(r.firstColumn) : ordered(nullptr);
    range["lastColumn"] = r.firstColumn > 0 ? ordered(std::max(r.lastColumn, r.firstColumn)) : ordered(nullptr);
    return range;
}

ordered jsonDiagnostic(const Report& report, const Diagnostic& d) {
    ordered out = {{"level", levelName(d.level)}, {"code", d.code}};
    out["name"] = d.name.empty() ? ordered(nullptr) : ordered(d.name);
    out["message"] = utf8Of(d.message);
    out["historical"] = d.historical.empty() ? ordered(nullptr) : ordered(utf8Of(d.historical));
    out["range"] = jsonRange(report, d.range);
    ordered related = ordered::array();
    for (const Related& r : d.related)
        related.push_back({{"range", jsonRange(report, r.range)}, {"message", utf8Of(r.message)}});
    out["related"] = std::move(related);
    ordered fixes = ordered::array();
    for (const FixIt& f : d.fixes)
        fixes.push_back({{"range", jsonRange(report, f.range)}, {"replacement", utf8Of(f.replacement)}});
    out["fixes"] = std::move(fixes);
    out["unnecessary"] = d.unnecessary;
    return out;
}

// ---- SARIF: columns in UTF-16 code units, the region's end column past its last character.

constexpr const char* kSarifSchema = "https://json.schemastore.org/sarif-2.1.0.json";
constexpr const char* kRootBase = "SRCROOT";  // the working directory, in originalUriBaseIds

// A path as a URI reference: every byte but the unreserved ones and '/' percent-encoded.
std::string percentEncoded(std::string_view path) {
    static const char kHex[] = "0123456789ABCDEF";
    std::string out;
    for (const char ch : path) {
        const auto c = static_cast<unsigned char>(ch);
        const bool plain = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-' ||
                           c == '.' || c == '_' || c == '~' || c == '/';
        if (plain) {
            out += ch;
        } else {
            out += '%';
            out += kHex[c >> 4];
            out += kHex[c & 0xF];
        }
    }
    return out;
}

std::string directoryUri(const std::string& directory) {
    std::string uri = "file://" + percentEncoded(directory);
    if (uri.back() != '/') uri += '/';
    return uri;
}

class SarifWriter {
  public:
    SarifWriter(const Report& report, const std::string& workingDirectory) : report_(report), root_(workingDirectory) {
        if (!root_.empty() && root_.back() != '/') root_ += '/';
    }

    std::string write() {
        ordered rules = ordered::array();
        const std::vector<CodeInfo>& codes = codeTable();
        for (const CodeInfo& info : codes) {
            ordered rule = {{"id", info.code}};
            if (info.name[0] != '\0') rule["name"] = info.name;
            rule["shortDescription"] = {{"text", info.summary}};
            rule["defaultConfiguration"] = {{"level", levelName(info.level)}};
            rules.push_back(std::move(rule));
        }
        ordered results = ordered::array();
        for (const Diagnostic& d : report_.diagnostics) results.push_back(result(d, codes));
        ordered run = {
            {"tool", {{"driver", {{"name", "qvekdump"}, {"version", kAssemblerVersion}, {"rules", rules}}}}}};
        if (!root_.empty()) run["originalUriBaseIds"] = {{kRootBase, {{"uri", directoryUri(root_)}}}};
        run["columnKind"] = "utf16CodeUnits";
        run["results"] = std::move(results);
        ordered log = {{"$schema", kSarifSchema}, {"version", "2.1.0"}, {"runs", ordered::array({std::move(run)})}};
        return dump(log);
    }

  private:
    const Report& report_;
    std::string root_;  // the working directory with a trailing '/', or empty

    ordered artifact(uint32_t file) const {
        const std::string name = file < report_.files.size() ? report_.files[file].name : "";
        if (!name.empty() && name[0] != '/') return {{"uri", percentEncoded(name)}, {"uriBaseId", kRootBase}};
        if (!root_.empty() && name.compare(0, root_.size(), root_) == 0)
            return {{"uri", percentEncoded(name.substr(root_.size()))}, {"uriBaseId", kRootBase}};
        return {{"uri", "file://" + percentEncoded(name)}};
    }

    ordered region(const Range& r) const {
        ordered out = {{"startLine", r.line}};
        if (r.firstColumn == 0) return out;
        std::string_view line;
        if (r.file < report_.files.size() && r.line >= 1 &&
            static_cast<size_t>(r.line) <= report_.files[r.file].lines.size())
            line = report_.files[r.file].lines[r.line - 1];
        const uint32_t last = std::max(r.lastColumn, r.firstColumn);
        out["startColumn"] = utf16UnitsOf(line, r.firstColumn - 1) + 1;
        out["endColumn"] = utf16UnitsOf(line, last) + 1;
        return out;
    }

    ordered location(const Range& r) const {
        ordered physical = {{"artifactLocation", artifact(r.file)}};
        if (r.line >= 1) physical["region"] = region(r);  // a file that could not be read has no lines
        return {{"physicalLocation", std::move(physical)}};
    }

    ordered result(const Diagnostic& d, const std::vector<CodeInfo>& codes) const {
        ordered out = {{"ruleId", d.code}};
        for (size_t i = 0; i < codes.size(); i++)
            if (d.code == codes[i].code) out["ruleIndex"] = i;
        out["level"] = levelName(d.level);
        out["message"] = {{"text", utf8Of(d.message)}};
        out["locations"] = ordered::array({location(d.range)});
        if (!d.related.empty()) {
            ordered related = ordered::array();
            for (size_t i = 0; i < d.related.size(); i++) {
                ordered place = location(d.related[i].range);
                place["id"] = i + 1;
                place["message"] = {{"text", utf8Of(d.related[i].message)}};
                related.push_back(std::move(place));
            }
            out["relatedLocations"] = std::move(related);
        }
        if (!d.fixes.empty()) out["fixes"] = ordered::array({fix(d)});
        ordered properties = ordered::object();
        if (!d.historical.empty()) properties["historical"] = utf8Of(d.historical);
        if (d.unnecessary) properties["tags"] = {"unnecessary"};
        if (!properties.empty()) out["properties"] = std::move(properties);
        return out;
    }

    // The fix-its of a diagnostic make one fix: they are applied together, file by file.
    ordered fix(const Diagnostic& d) const {
        ordered changes = ordered::array();
        std::vector<uint32_t> files;
        for (const FixIt& f : d.fixes)
            if (std::find(files.begin(), files.end(), f.range.file) == files.end()) files.push_back(f.range.file);
        for (const uint32_t file : files) {
            ordered replacements = ordered::array();
            for (const FixIt& f : d.fixes)
                if (f.range.file == file)
                    replacements.push_back(
                        {{"deletedRegion", region(f.range)}, {"insertedContent", {{"text", utf8Of(f.replacement)}}}});
            changes.push_back({{"artifactLocation", artifact(file)}, {"replacements", std::move(replacements)}});
        }
        std::string description = "replace with '" + d.fixes.front().replacement + "'";
        if (d.fixes.size() == 1 && d.fixes.front().replacement.empty()) description = "remove this";
        return {{"description", {{"text", utf8Of(description)}}}, {"artifactChanges", std::move(changes)}};
    }
};

}  // namespace

std::string renderJson(const Report& report) {
    ordered files = ordered::array();
    for (const CheckedFile& f : report.files) {
        ordered file = {{"name", utf8Of(f.name)}};
        if (f.includedFrom >= 0)
            file["includedFrom"] = {{"file", fileName(report, static_cast<uint32_t>(f.includedFrom))},
                                    {"line", f.includeLine},
                                    {"column", f.includeColumn}};
        else
            file["includedFrom"] = nullptr;
        files.push_back(std::move(file));
    }
    ordered diagnostics = ordered::array();
    for (const Diagnostic& d : report.diagnostics) diagnostics.push_back(jsonDiagnostic(report, d));
    ordered document = {{"version", kReportJsonVersion},         {"files", std::move(files)},
                        {"diagnostics", std::move(diagnostics)}, {"errors", report.errors},
                        {"warnings", report.warnings},           {"assemblerFails", report.assemblerFails}};
    return dump(document);
}

std::string renderSarif(const Report& report, const std::string& workingDirectory) {
    return SarifWriter(report, workingDirectory).write();
}

}  // namespace qvek::diag
