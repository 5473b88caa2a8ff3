#include "diag/gather.h"

#include <cstdio>
#include <cstring>

#include "core/numbers.h"
#include "core/symbols.h"

namespace qvek::diag {

namespace {

// Room for each table's entries, so that every entry an event names has its flags.
constexpr uint32_t kTableSize[3] = {kPatternSlots, kMaxDefinitions, kMaxProgramLabels};

uint32_t enterFile(Gathered& g, const AsmState& st, const AsmEvent& e) {
    const auto [at, fresh] = g.fileIndex.try_emplace(e.file, static_cast<uint32_t>(g.report.files.size()));
    if (!fresh) return at->second;
    CheckedFile file;
    file.name = e.file;
    if (e.depth > 0) {
        // The INC line of the file that includes it: that file's line, saved as the include began.
        file.includedFrom = static_cast<int32_t>(g.openFiles[e.depth - 1]);
        file.includeLine = st.savedLines[0];
    }
    readLines(g.options, e.file, file);
    g.report.files.push_back(std::move(file));
    return at->second;
}

Place placeOf(const Gathered& g, const AsmEvent& e, int16_t token) {
    const uint32_t depth = e.depth < kMaxIncludeFiles ? e.depth : 0;
    return {g.openFiles[depth], e.line, token, g.statements[e.pass < 3 ? e.pass : 0] + 1};
}

// The token of operand i (0 = the label) of a statement.
int16_t tokenOf(const StatementEvent& s, uint32_t operand) {
    const int16_t word = s.label[0] != '\0' ? 1 : 0;
    return operand == 0 ? 0 : static_cast<int16_t>(word + operand);
}

void define(Gathered& g, const AsmState& st, const StatementEvent& s, const NameUse& use, const Place& at) {
    const int table = use.table;
    const uint32_t entry = static_cast<uint32_t>(use.entry);
    if (entry >= kTableSize[table]) return;
    const char* name = use.operand == 0 ? s.label : s.operands[use.operand];
    NameDefinition d{use.table, entry, name, at};
    d.place.token = tokenOf(s, use.operand);
    const auto index = static_cast<int32_t>(g.definitions.size());
    const auto [known, fresh] = g.byName[table].try_emplace(d.name, index);
    if (!fresh) {
        NameDefinition& earlier = g.definitions[known->second];
        // A pattern label lives while its slot keeps it; a word stored over it took it away.
        const bool live = use.table != PatternLabel || std::strcmp(patternLabel(st, earlier.entry), name) == 0;
        if (!live || earlier.entry == entry) {
            known->second = static_cast<uint32_t>(index);
        } else if (use.table == PatternLabel && entry < earlier.entry) {
            // Lookups find the lowest slot: this one, from now on.
            earlier.firstOf = index;
            d.shadows = true;
            known->second = static_cast<uint32_t>(index);
        } else {
            d.firstOf = static_cast<int32_t>(known->second);
        }
    }
    g.definitionOf[table][entry] = index;
    g.definitions.push_back(std::move(d));
}

void keepNumeric(Gathered& g, const StatementEvent& s, const Place& at) {
    if (s.code != StatementCode::Lpp && s.code != StatementCode::Cal && s.code != StatementCode::Jcb &&
        s.code != StatementCode::Jmp)
        return;
    const char* token = s.operands[1];
    if (token[0] == '#' || token[0] == '\0') return;
    NumericOperand n{at, s.code, readNumber(token).value & 0xFFF};
    n.place.token = tokenOf(s, 1);
    g.numeric.push_back(n);
}

void statement(Gathered& g, const AsmState& st, const AsmEvent& e) {
    const StatementEvent& s = e.statement;
    const Place at = placeOf(g, e, static_cast<int16_t>(s.label[0] != '\0' ? 1 : 0));
    g.statements[e.pass]++;
    for (uint32_t i = 0; i < s.nameCount; i++) {
        const NameUse& use = s.names[i];
        if (use.entry < 0) continue;
        if (!use.defines) {
            if (static_cast<uint32_t>(use.entry) < kTableSize[use.table]) g.used[use.table][use.entry] = true;
        } else if (e.pass == 1) {
            define(g, st, s, use, at);
        }
    }
    if (e.pass != 1) return;
    if (s.size > 0) g.program.push_back({at, s.code, s.address, s.size});
    keepNumeric(g, s, at);
}

void message(Gathered& g, const AsmEvent& e) {
    const Code code = codeOfMessage(e.message.severity, e.message.text);
    // Includes nested in includes can repeat one mistake without end; a check that has said this much stops.
    if (endsReading(code) || g.messages.size() >= kMaxMessages) g.stopped = true;
    if (code == Code::IncludeNotFound || code == Code::IncludeNotPlain || code == Code::IncludeTooDeep)
        g.includeFailed = true;
    // The second pass meets the first one's faults of reading and including again: told once.
    const Place at = placeOf(g, e, kWholeLine);
    if (e.pass == 2)
        for (const uint32_t i : g.repeatable)
            if (g.messages[i].place.file == at.file && g.messages[i].place.line == at.line &&
                g.messages[i].text == e.message.text)
                return;
    if (e.pass == 1 && (code == Code::TokenTooLong || code == Code::IncludeNotFound ||
                        code == Code::IncludeNotPlain || code == Code::IncludeTooDeep))
        g.repeatable.push_back(static_cast<uint32_t>(g.messages.size()));
    g.messages.push_back({e.pass, e.message.severity, code, e.message.text, at});
}

}  // namespace

void gatherEvent(void* context, const AsmState& st, const AsmEvent& e) {
    Gathered& g = *static_cast<Gathered*>(context);
    if (g.used[0].empty())
        for (int t = 0; t < 3; t++) {
            g.used[t].assign(kTableSize[t], false);
            g.definitionOf[t].assign(kTableSize[t], -1);
        }
    switch (e.kind) {
        case EventKind::FileEntered:
            if (e.depth < kMaxIncludeFiles) g.openFiles[e.depth] = enterFile(g, st, e);
            break;
        case EventKind::Statement: statement(g, st, e); break;
        case EventKind::PatternWord: g.filledSlots.set(e.pattern.slot % kPatternSlots); break;
        case EventKind::Message: message(g, e); break;
        default: break;
    }
    if (g.options.next != nullptr) g.options.next(g.options.nextContext, st, e);
}

bool goOn(void* context, const AsmState&) { return !static_cast<Gathered*>(context)->stopped; }

bool readLines(const CheckOptions& options, const char* name, CheckedFile& file) {
    FILE* stream = options.opener != nullptr ? options.opener(options.openerContext, name) : std::fopen(name, "r");
    if (stream == nullptr) return false;
    std::string text;
    char buffer[1 << 14];
    size_t n;
    // A file beyond the limit keeps its first lines; the passes report what they make of the rest.
    while (text.size() < kMaxKeptFileSize && (n = std::fread(buffer, 1, sizeof buffer, stream)) > 0)
        text.append(buffer, n);
    const bool read = std::ferror(stream) == 0;
    std::fclose(stream);
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find('\n', start);
        const bool last = end == std::string::npos;
        if (last) end = text.size();
        size_t stop = end;
        if (!last && stop > start && text[stop - 1] == '\r') stop--;
        file.lines.emplace_back(text, start, stop - start);
        start = end + 1;
    }
    return read;
}

}  // namespace qvek::diag
