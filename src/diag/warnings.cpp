#include "diag/warnings.h"

#include <cstdio>

namespace qvek::diag {

namespace {

std::string hex3(uint32_t value) {
    char text[16];
    std::snprintf(text, sizeof text, "0x%3.3x", value);
    return text;
}

std::string lineWords(const Report& report, const Place& p) {
    std::string words = "line " + std::to_string(p.line);
    if (p.file != 0 && p.file < report.files.size()) words += " of " + report.files[p.file].name;
    return words;
}

Group groupAt(const Gathered& g, Code code, const Place& at, std::string message) {
    Group group;
    group.order = orderOf(at, 2);
    group.items.push_back(makeDiagnostic(g.report, code, at, std::move(message)));
    return group;
}

// The last statement to write each program nibble, and the first that a later one wrote over.
void overwrites(const Gathered& g, bool on, std::vector<int32_t>& owner, std::vector<Group>& groups) {
    for (size_t i = 0; i < g.program.size(); i++) {
        const StatementInfo& s = g.program[i];
        int32_t reported = -1;
        for (uint32_t k = s.address; k < s.address + s.size && k < kProgramNibbles; k++) {
            const int32_t earlier = owner[k];
            owner[k] = static_cast<int32_t>(i);
            if (!on || earlier < 0 || earlier == reported) continue;
            reported = earlier;
            const StatementInfo& e = g.program[earlier];
            const std::string word = tokenText(g.report, s.place), earlierWord = tokenText(g.report, e.place);
            Group group = groupAt(g, Code::Overwritten, s.place,
                                  "`" + word + "` at " + hex3(s.address) + " writes over the `" + earlierWord + "` at " +
                                      hex3(e.address) + " on " + lineWords(g.report, e.place) +
                                      ": an ORG PGM moved the program back over it");
            group.items[0].related.push_back({rangeOf(g.report, e.place), "`" + earlierWord + "` placed here first"});
            groups.push_back(std::move(group));
        }
    }
}

void names(const Gathered& g, WarningEnabled enabled, bool complete, std::vector<Group>& groups) {
    constexpr Code kUnused[3] = {Code::UnusedPatternLabel, Code::UnusedConstant, Code::UnusedLabel};
    constexpr const char* kKind[3] = {"pattern label", "constant", "program label"};
    for (size_t i = 0; i < g.definitions.size(); i++) {
        const NameDefinition& d = g.definitions[i];
        const int t = d.table;
        if (d.firstOf >= 0) {
            if (!enabled(g.options, Code::DefinedTwice)) continue;
            const NameDefinition& found = g.definitions[d.firstOf];
            Group group = groupAt(g, Code::DefinedTwice, d.place,
                                  std::string(kKind[t]) + " `" + d.name + "` is defined again; every use finds " +
                                      (d.table == PatternLabel ? "the lowest slot, " : "the first definition, ") +
                                      "on " + lineWords(g.report, found.place) + ", and this one is ignored");
            group.items[0].related.push_back({rangeOf(g.report, found.place), "the definition every use finds"});
            groups.push_back(std::move(group));
            continue;
        }
        // Names that a file not read, or lines never reached, might use are not called unused.
        if (!complete || !enabled(g.options, kUnused[t])) continue;
        if (g.definitionOf[t][d.entry] != static_cast<int32_t>(i) || g.used[t][d.entry]) continue;
        Group group = groupAt(g, kUnused[t], d.place, std::string(kKind[t]) + " `" + d.name + "` is never used");
        group.items[0].unnecessary = true;
        groups.push_back(std::move(group));
    }
}

void numericOperands(const Gathered& g, WarningEnabled enabled, const std::vector<int32_t>& owner,
                     std::vector<Group>& groups) {
    for (const NumericOperand& n : g.numeric) {
        if (n.code == StatementCode::Lpp) {
            if (!enabled(g.options, Code::EmptySlot) || (n.value < kPatternSlots && g.filledSlots.test(n.value)))
                continue;
            groups.push_back(groupAt(g, Code::EmptySlot, n.place,
                                     "no PAT fills pattern slot " + std::to_string(n.value) + " (host address " +
                                         hex3(2 * n.value) + ")"));
            continue;
        }
        if (!enabled(g.options, Code::TargetInsideStatement)) continue;
        const int32_t at = n.value < kProgramNibbles ? owner[n.value] : -1;
        if (at >= 0 && g.program[at].address == n.value) continue;
        Group group = groupAt(g, Code::TargetInsideStatement, n.place,
                              "jump target " + hex3(n.value) + " is not the start of a statement");
        if (at >= 0)
            group.items[0].related.push_back({rangeOf(g.report, g.program[at].place),
                                              "it lies inside this `" + tokenText(g.report, g.program[at].place) +
                                                  "`, which starts at " + hex3(g.program[at].address)});
        groups.push_back(std::move(group));
    }
}

}  // namespace

void addEngineWarnings(const Gathered& g, WarningEnabled enabled, std::vector<Group>& groups) {
    std::vector<int32_t> owner(kProgramNibbles, -1);
    overwrites(g, enabled(g.options, Code::Overwritten), owner, groups);
    // What is used, filled or placed is known only when both passes read every file to its end.
    const bool complete = !g.stopped && !g.includeFailed && g.statements[2] == g.statements[1];
    names(g, enabled, complete, groups);
    if (complete) numericOperands(g, enabled, owner, groups);
}

}  // namespace qvek::diag
