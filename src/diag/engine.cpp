#include "diag/engine.h"

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <system_error>

#include "core/state_memory.h"
#include "diag/gather.h"
#include "diag/historical.h"
#include "diag/warnings.h"
#include "inspect/source_names.h"
#include "source/files.h"

namespace qvek::diag {

namespace {

// The last switch naming a warning decides; a warning no switch names is on.
bool switchedOn(const CheckOptions& options, Code code) {
    const CodeInfo& info = infoOf(code);
    bool on = true;
    for (const WarningSwitch& s : options.switches)
        if (s.name == info.name) on = s.enabled;
    return on;
}

void addFileError(Report& report, std::vector<Group>& groups, Code code, std::string message, std::string historical) {
    Group group;
    group.items.push_back(makeDiagnostic(report, code, {}, std::move(message)));
    group.items[0].historical = std::move(historical);
    groups.push_back(std::move(group));
}

// What keeps the assembler from reading the main source at all, as its run reports it; empty when nothing does.
bool refuseSource(const char* name, const CheckOptions& options, Report& report, std::vector<Group>& groups) {
    const std::string quoted = std::string("`") + name + "`";
    if (std::strpbrk(name, "\n\r") != nullptr) {
        addFileError(report, groups, Code::SourceUnreadable,
                     "source file name " + quoted + " holds a line break, which no load file can hold",
                     std::string("ERROR:- Source file name ") + name +
                         " holds a line break, which no load file can hold !");
        return true;
    }
    if (options.opener != nullptr) return false;
    std::error_code failed;
    if (std::filesystem::is_directory(name, failed)) {
        addFileError(report, groups, Code::SourceUnreadable, "source " + quoted + " is a folder, not a file",
                     std::string("ERROR:- Could not read file ") + name + " after line 000 !");
        return true;
    }
    if (const char* kind = kindReadOnce(name)) {
        addFileError(report, groups, Code::SourceUnreadable,
                     "source " + quoted + " is " + kind + ", which cannot be read the same way on both passes",
                     std::string("ERROR:- Source file ") + name + " is " + kind +
                         ", which cannot be read on both passes !");
        return true;
    }
    return false;
}

void finish(Report& report, std::vector<Group>& groups, bool warningsAsErrors) {
    std::stable_sort(groups.begin(), groups.end(), [](const Group& a, const Group& b) { return a.order < b.order; });
    for (Group& group : groups)
        for (Diagnostic& d : group.items) {
            if (d.level == Level::Error) report.assemblerFails = true;
            report.diagnostics.push_back(std::move(d));
        }
    for (Diagnostic& d : report.diagnostics) {
        if (d.level == Level::Warning && warningsAsErrors) d.level = Level::Error;
        if (d.level == Level::Error) report.errors++;
        if (d.level == Level::Warning) report.warnings++;
    }
}

}  // namespace

Report check(const char* sourceName, const CheckOptions& options) {
    Report report;
    std::vector<Group> groups;
    Gathered g(report, options);
    if (!refuseSource(sourceName, options, report, groups)) {
        AsmStatePtr st = newAsmState();
        if (st == nullptr) {
            addFileError(report, groups, Code::OutOfMemory, "no memory for the assembler's tables",
                         "ERROR:- Out of memory for the assembler's tables !");
        } else {
            st->opener = options.opener;
            st->openerContext = options.openerContext;
            st->observer = gatherEvent;
            st->observerContext = &g;
            st->resume = goOn;
            st->resumeContext = &g;
            const SourceResult result = assembleSilently(*st, sourceName, true);
            if (result == SourceResult::CannotOpen)
                addFileError(report, groups, Code::SourceUnreadable,
                             std::string("source file `") + sourceName + "` cannot be opened",
                             std::string("ERROR:- Cannot open source file ") + sourceName +
                                 (report.files.empty() ? "" : " on pass 2"));
        }
    }
    // The main source is always the first file, read or not.
    if (report.files.empty()) report.files.push_back({sourceName, {}, -1, 0, 0});
    convertMessages(g, groups);
    addEngineWarnings(g, switchedOn, groups);
    // Each included file's INC line is known once the file that includes it has its lines.
    for (CheckedFile& file : report.files) {
        if (file.includedFrom < 0) continue;
        const uint32_t from = static_cast<uint32_t>(file.includedFrom);
        const Place inc{from, file.includeLine, static_cast<int16_t>(wordToken(report, from, file.includeLine) + 1), 0};
        file.includeColumn = rangeOf(report, inc).firstColumn;
    }
    finish(report, groups, options.warningsAsErrors);
    return report;
}

}  // namespace qvek::diag
