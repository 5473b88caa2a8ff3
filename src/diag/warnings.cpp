#include "diag/warnings.h"

#include <cstdio>

#include "core/numbers.h"
#include "diag/hints.h"

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

Diagnostic& openAt(const Gathered& g, Collector& c, Code code, const Place& at, std::string message) {
    return c.open(orderOf(at, 2), makeDiagnostic(g.report, code, at, std::move(message)));
}

// The last statement to write each program nibble, and the first that a later one wrote over.
void overwrites(const Gathered& g, bool on, std::vector<int32_t>& owner, Collector& c) {
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
            Diagnostic& d = openAt(g, c, Code::Overwritten, s.place,
                                  "`" + word + "` at " + hex3(s.address) + " writes over the `" + earlierWord + "` at " +
                                      hex3(e.address) + " on " + lineWords(g.report, e.place) +
                                      ": an ORG PGM moved the program back over it");
            d.related.push_back({rangeOf(g.report, e.place), "`" + earlierWord + "` placed here first"});
        }
    }
}

void names(const Gathered& g, WarningEnabled enabled, bool complete, Collector& c) {
    constexpr Code kUnused[3] = {Code::UnusedPatternLabel, Code::UnusedConstant, Code::UnusedLabel};
    constexpr const char* kKind[3] = {"pattern label", "constant", "program label"};
    const bool twice = enabled(g.options, Code::DefinedTwice);
    for (uint32_t i = 0; i < g.definitions.size(); i++) {
        // A pattern label whose slot a later PAT took over is gone; the assembler says so itself.
        if (!live(g, i)) continue;
        const NameDefinition& def = g.definitions[i];
        const int t = def.table;
        const char* name = nameOf(g, def);
        const int32_t found = definitionFound(g, def.table, name);
        if (found >= 0 && found != static_cast<int32_t>(i)) {
            if (!twice) continue;
            const NameDefinition& first = g.definitions[found];
            Diagnostic& d = openAt(g, c, Code::DefinedTwice, def.place,
                                  std::string(kKind[t]) + " `" + name + "` is defined twice; every use finds " +
                                      (def.table == PatternLabel ? "the lowest slot, " : "the first definition, ") + "on " +
                                      lineWords(g.report, first.place) + ", and this one is ignored");
            d.related.push_back({rangeOf(g.report, first.place), "the definition every use finds"});
            continue;
        }
        // Names that a file not read, or lines never reached, might use are not called unused.
        if (!complete || g.used[t][def.entry] || !enabled(g.options, kUnused[t])) continue;
        std::string words;
        words.reserve(48);
        words.append(kKind[t]).append(" `").append(name).append("` is never used");
        Diagnostic& d = openAt(g, c, kUnused[t], def.place, std::move(words));
        d.unnecessary = true;
    }
}

void numericOperands(const Gathered& g, WarningEnabled enabled, const std::vector<int32_t>& owner,
                     Collector& c) {
    for (const NumericOperand& n : g.numeric) {
        if (n.code == StatementCode::Lpp) {
            if (!enabled(g.options, Code::EmptySlot) || (n.value < kPatternSlots && g.filledSlots.test(n.value)))
                continue;
            openAt(g, c, Code::EmptySlot, n.place,
                                     "no PAT fills pattern slot " + std::to_string(n.value) + " (host address " +
                                         hex3(2 * n.value) + ")");
            continue;
        }
        if (!enabled(g.options, Code::TargetInsideStatement)) continue;
        const int32_t at = n.value < kProgramNibbles ? owner[n.value] : -1;
        if (at >= 0 && g.program[at].address == n.value) continue;
        Diagnostic& d = openAt(g, c, Code::TargetInsideStatement, n.place,
                              "jump target " + hex3(n.value) + " is not the start of a statement");
        if (at >= 0)
            d.related.push_back({rangeOf(g.report, g.program[at].place),
                                              "it lies inside this `" + tokenText(g.report, g.program[at].place) +
                                                  "`, which starts at " + hex3(g.program[at].address)});
    }
}

void malformedNumbers(const Gathered& g, Collector& c) {
    for (const MalformedNumber& m : g.malformed) {
        openAt(g, c, Code::MalformedNumber, m.place,
                              "`" + m.token + "` is read as the number " +
                                  std::to_string(readNumber(m.token.c_str()).value) +
                                  ": characters of it are no digits of its base");
        hintMissingHash(g, m.place, m.table, m.token, c);
    }
}

}  // namespace

void addEngineWarnings(const Gathered& g, WarningEnabled enabled, Collector& c) {
    std::vector<int32_t> owner(kProgramNibbles, -1);
    overwrites(g, enabled(g.options, Code::Overwritten), owner, c);
    // What is used, filled or placed is known only when both passes read every file to its end.
    const bool complete = !g.stopped && !g.includeFailed && g.statements[2] == g.statements[1];
    names(g, enabled, complete, c);
    if (enabled(g.options, Code::MalformedNumber)) malformedNumbers(g, c);
    if (complete) numericOperands(g, enabled, owner, c);
}

}  // namespace qvek::diag
