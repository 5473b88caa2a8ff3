#include "diag/gather.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "core/numbers.h"
#include "core/symbols.h"

namespace qvek::diag {

namespace {

// Each byte's value as a digit of base 16 at most, or 16 for a byte that is no digit.
struct DigitValues {
    uint8_t value[256] = {};
    constexpr DigitValues() {
        for (int c = 0; c < 256; c++) value[c] = 16;
        for (int c = 0; c < 10; c++) value['0' + c] = static_cast<uint8_t>(c);
        for (int c = 0; c < 6; c++) value['A' + c] = value['a' + c] = static_cast<uint8_t>(10 + c);
    }
};
constexpr DigitValues kDigitValue;

// The bytes a number token can begin with, a base letter or a digit: a token beginning with any other
// reads whole (readsWhole), which spares the test for most operators and names of an expression.
struct NumberStarts {
    bool starts[256] = {};
    constexpr NumberStarts() {
        for (int c = '0'; c <= '9'; c++) starts[c] = true;
        for (const char base : {'B', 'D', 'H', 'X'}) starts[static_cast<unsigned char>(base)] = true;
    }
};
constexpr NumberStarts kNumberStart;

// Tells whether a token of a number operand may fail to read whole: not a '#' name, not empty, and not whole.
bool malformed(const char* token) {
    return kNumberStart.starts[static_cast<unsigned char>(token[0])] && !readsWhole(token);
}

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
    fillLines(g, e.file, file);
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

void define(Gathered& g, const StatementEvent& s, const NameUse& use, const Place& at) {
    const uint32_t entry = static_cast<uint32_t>(use.entry);
    if (entry >= kTableSize[use.table]) return;
    NameDefinition d{use.table, entry, at};
    d.place.token = tokenOf(s, use.operand);
    g.definitionOf[use.table][entry] = static_cast<int32_t>(g.definitions.size());
    g.definitions.push_back(d);
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

// The operands a pass-1 statement reads as numbers, and the table a '#' name there would be looked up in.
void keepMalformed(Gathered& g, const StatementEvent& s, const Place& at) {
    const auto keep = [&](uint32_t operand, OperandKind table) {
        const char* token = s.operands[operand];
        if (!malformed(token)) return;
        MalformedNumber m{at, table, token};
        m.place.token = tokenOf(s, operand);
        g.malformed.push_back(std::move(m));
    };
    if (const InstructionFormat* format = instructionFormat(s.code)) {
        for (uint8_t i = 0; i < format->fieldCount; i++)
            if (format->fields[i].fixedText == nullptr) keep(format->fields[i].operand, format->fields[i].kind);
        return;
    }
    switch (s.code) {
        case StatementCode::Def:
            for (uint32_t i = 2; i <= kMaxOperands && s.operands[i][0] != '\0'; i++) {
                // The operators read whole as numbers but XOR, which is told by its word.
                if (!malformed(s.operands[i])) continue;
                const StatementCode op = lookupKeyword(s.operands[i]);
                if (op != StatementCode::Not && op != StatementCode::And && op != StatementCode::Or &&
                    op != StatementCode::Xor)
                    keep(i, Constant);
            }
            break;
        case StatementCode::Pat:
            keep(s.operands[2][0] != '\0' ? 2 : 1, Constant);
            if (s.operands[3][0] != '\0') keep(3, Constant);
            break;
        case StatementCode::Org: keep(2, Constant); break;
        default: break;
    }
}

void statement(Gathered& g, const AsmEvent& e) {
    const StatementEvent& s = e.statement;
    // Only pass 1's statements are placed; pass 2 marks the names it uses.
    const bool first = e.pass == 1;
    const Place at = first ? placeOf(g, e, static_cast<int16_t>(s.label[0] != '\0' ? 1 : 0)) : Place{};
    g.statements[e.pass]++;
    for (uint32_t i = 0; i < s.nameCount; i++) {
        const NameUse& use = s.names[i];
        if (use.entry < 0) continue;
        if (!use.defines) {
            if (static_cast<uint32_t>(use.entry) < kTableSize[use.table]) g.used[use.table][use.entry] = 1;
        } else if (first) {
            define(g, s, use, at);
        }
    }
    if (!first) return;
    if (s.size > 0) g.program.push_back({at, s.code, s.address, s.size});
    keepNumeric(g, s, at);
    keepMalformed(g, s, at);
}

void message(Gathered& g, const AsmEvent& e) {
    const Code code = codeOfMessage(e.message.severity, e.message.text);
    std::string text = e.message.text;
    // Includes nested in includes can repeat one mistake without end; a check that has said this much stops.
    if (endsReading(code) || g.messages.size() >= kMaxMessages) g.stopped = true;
    if (code == Code::IncludeNotFound || code == Code::IncludeNotPlain || code == Code::IncludeTooDeep)
        g.includeFailed = true;
    // The second pass meets the first one's faults of reading and including again: told once.
    const Place at = placeOf(g, e, kWholeLine);
    if (e.pass == 2)
        for (const uint32_t i : g.repeatable)
            if (g.messages[i].place.file == at.file && g.messages[i].place.line == at.line &&
                g.messages[i].text == text)
                return;
    if (e.pass == 1 && (code == Code::TokenTooLong || code == Code::IncludeNotFound ||
                        code == Code::IncludeNotPlain || code == Code::IncludeTooDeep))
        g.repeatable.push_back(static_cast<uint32_t>(g.messages.size()));
    g.messages.push_back({e.pass, e.message.severity, code, std::move(text), at});
}

}  // namespace

Gathered::Gathered(Report& r, const CheckOptions& o) : report(r), options(o) {
    for (int t = 0; t < 3; t++) {
        used[t].assign(kTableSize[t], 0);
        definitionOf[t].assign(kTableSize[t], -1);
    }
}

void gatherEvent(void* context, const AsmState& st, const AsmEvent& e) {
    Gathered& g = *static_cast<Gathered*>(context);
    switch (e.kind) {
        case EventKind::FileEntered:
            if (e.depth < kMaxIncludeFiles) g.openFiles[e.depth] = enterFile(g, st, e);
            break;
        case EventKind::Statement: statement(g, e); break;
        case EventKind::PatternWord: g.filledSlots.set(e.pattern.slot % kPatternSlots); break;
        case EventKind::Message: message(g, e); break;
        default: break;
    }
    if (g.options.next != nullptr) g.options.next(g.options.nextContext, st, e);
}

const char* nameOf(const Gathered& g, const NameDefinition& d) {
    switch (d.table) {
        case PatternLabel: return patternLabel(*g.st, d.entry);
        case Constant: return definitionName(*g.st, d.entry);
        case JumpLabel: break;
    }
    return programLabelName(*g.st, d.entry);
}

bool live(const Gathered& g, uint32_t definition) {
    const NameDefinition& d = g.definitions[definition];
    return g.definitionOf[d.table][d.entry] == static_cast<int32_t>(definition);
}

int32_t definitionFound(const Gathered& g, OperandKind table, const char* name) {
    const int entry = findEntry(*g.st, name, table);
    return entry < 0 ? -1 : g.definitionOf[table][entry];
}

bool readsWhole(const char* token) {
    // As readNumber reads it: leading zeros, then a base letter or a first digit.
    const char* p = token;
    while (*p == '0') p++;
    unsigned base = 10;
    switch (*p) {
        case '\0': return true;
        case 'B': base = 2; p++; break;
        case 'D': p++; break;
        case 'H':
        case 'X': base = 16; p++; break;
        default:
            // No base and no digit: the assembler itself asks whether a '#' is missing.
            if (*p < '1' || *p > '9') return true;
    }
    if (base != 2 && (*p == '+' || *p == '-')) p++;
    if (base == 16 && p[0] == '0' && (p[1] == 'X' || p[1] == 'x')) p += 2;
    if (*p == '\0') return false;
    for (; *p != '\0'; p++)
        if (kDigitValue.value[static_cast<unsigned char>(*p)] >= base) return false;
    return true;
}

bool goOn(void* context, const AsmState&) { return !static_cast<Gathered*>(context)->stopped; }

}  // namespace qvek::diag
