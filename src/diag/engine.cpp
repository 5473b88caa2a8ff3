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

void addFileError(Report& report, Collector& c, Code code, std::string message, std::string historical) {
    c.open(0, makeDiagnostic(report, code, {}, std::move(message))).historical = std::move(historical);
}

// What keeps the assembler from reading the main source at all, as its run reports it; empty when nothing does.
bool refuseSource(const char* name, const CheckOptions& options, Report& report, Collector& c) {
    const std::string quoted = std::string("`") + name + "`";
    if (std::strpbrk(name, "\n\r") != nullptr) {
        addFileError(report, c, Code::SourceUnreadable,
                     "source file name " + quoted + " holds a line break, which no load file can hold",
                     std::string("ERROR:- Source file name ") + name +
                         " holds a line break, which no load file can hold !");
        return true;
    }
    if (options.opener != nullptr) return false;
    std::error_code failed;
    if (std::filesystem::is_directory(name, failed)) {
        addFileError(report, c, Code::SourceUnreadable, "source " + quoted + " is a folder, not a file",
                     std::string("ERROR:- Could not read file ") + name + " after line 000 !");
        return true;
    }
    if (const char* kind = kindReadOnce(name)) {
        addFileError(report, c, Code::SourceUnreadable,
                     "source " + quoted + " is " + kind + ", which cannot be read the same way on both passes",
                     std::string("ERROR:- Source file ") + name + " is " + kind +
                         ", which cannot be read on both passes !");
        return true;
    }
    return false;
}

void finish(Report& report, Collector& c, bool warningsAsErrors) {
    c.moveInto(report.diagnostics);
    for (Diagnostic& d : report.diagnostics) {
        if (d.level == Level::Error) report.assemblerFails = true;
        if (d.level == Level::Warning && warningsAsErrors) d.level = Level::Error;
        if (d.level == Level::Error) report.errors++;
        if (d.level == Level::Warning) report.warnings++;
    }
}

}  // namespace

Report check(const char* sourceName, const CheckOptions& options) {
    Report report;
    Collector c;
    Gathered g(report, options);
    if (!refuseSource(sourceName, options, report, c)) {
        AsmStatePtr st = newAsmState();
        if (st == nullptr) {
            addFileError(report, c, Code::OutOfMemory, "no memory for the assembler's tables",
                         "ERROR:- Out of memory for the assembler's tables !");
        } else {
            st->opener = openForCheck;
            st->openerContext = &g;
            st->openerRefuses = refusedForCheck;
            st->observer = gatherEvent;
            st->observerContext = &g;
            st->resume = goOn;
            st->resumeContext = &g;
            g.st = st.get();
            const SourceResult result = assembleSilently(*st, sourceName, true);
            if (result == SourceResult::CannotOpen)
                addFileError(report, c, Code::SourceUnreadable,
                             std::string("source file `") + sourceName + "` cannot be opened",
                             std::string("ERROR:- Cannot open source file ") + sourceName +
                                 (report.files.empty() ? "" : " on pass 2"));
            // Names are read from the tables, so the diagnostics are made while the state lasts. Most
            // definitions and messages give one diagnostic and a note or none.
            c.expect(g.messages.size() * 2 + g.definitions.size() + g.program.size() / 4 + 16);
            convertMessages(g, c);
            addEngineWarnings(g, switchedOn, c);
        }
    }
    // The main source is always the first file, read or not.
    if (report.files.empty()) report.files.push_back({sourceName, {}, -1, 0, 0});
    // Each included file's INC line is known once the file that includes it has its lines.
    for (CheckedFile& file : report.files) {
        if (file.includedFrom < 0) continue;
        const uint32_t from = static_cast<uint32_t>(file.includedFrom);
        const Place inc{from, file.includeLine, static_cast<int16_t>(wordToken(report, from, file.includeLine) + 1), 0};
        file.includeColumn = rangeOf(report, inc).firstColumn;
    }
    finish(report, c, options.warningsAsErrors);
    return report;
}

}  // namespace qvek::diag
