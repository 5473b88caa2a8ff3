#include "passes/observed.h"

#include <cstring>

#include "core/keywords.h"
#include "core/symbols.h"

namespace qvek {

namespace {

// The nibbles, from the instruction's first, that a pass writes: pass 1 the
// opcode and the fields it resolves, pass 2 the targets.
uint8_t nibblesWritten(const InstructionFormat& format, uint8_t pass) {
    uint8_t written = pass == 1 ? 1 : 0;
    for (uint8_t i = 0; i < format.fieldCount; i++) {
        const OperandField& field = format.fields[i];
        if (field.pass == pass) written |= static_cast<uint8_t>(((1u << field.nibbles) - 1) << field.offset);
    }
    return written;
}

// The names of a line as the observer is told them. A line pass 1 carried out
// whole has its lookups in the Statement already; pass 2's few, and those of a
// failed line, whose pass may have stopped before some operands, are made here.
struct NameList {
    const AsmState& st;
    const Statement& s;
    bool shared;  // the line's lookups are the pass's own
    NameUse* names;
    uint32_t count = 0;
    void add(uint8_t operand, OperandKind table, bool defines, int32_t entry) {
        names[count++] = {operand, table, defines, entry};
    }
    // A name the pass looks up in operand i, among the first limit entries of the constants.
    void addUse(uint8_t i, OperandKind table, uint32_t limit = kMaxDefinitions) {
        const char* name = s.operands[i];
        if (shared)
            add(i, table, false, s.found[i]);
        else
            add(i, table, false, table == Constant ? findDefinition(st, name, limit) : findEntry(st, name, table));
    }
};

// A constant named in operand i, as DEF, PAT and ORG look it up in pass 1.
void addConstantUse(NameList& list, uint8_t i) {
    if (list.s.operands[i][0] != '#') return;
    if (list.st.pass == 1)
        list.addUse(i, Constant);
    else
        list.add(i, Constant, false, kNotLookedUp);
}

// The names of a directive: what it enters and the constants it reads, operand by operand.
void addDirectiveNames(NameList& list, StatementCode code) {
    const Statement& s = list.s;
    const bool pass1 = list.st.pass == 1;
    switch (code) {
        case StatementCode::Def:
            if (s.operands[1][0] != '\0') list.add(1, Constant, true, pass1 ? s.filled : kNotLookedUp);
            for (uint8_t i = 2; i <= kMaxOperands && s.operands[i][0] != '\0'; i++) addConstantUse(list, i);
            break;
        case StatementCode::Pat: {
            // The value is operand 2 when a label or an address comes with it, else operand 1.
            const bool labelled = s.operands[2][0] != '\0';
            if (labelled) list.add(1, PatternLabel, true, pass1 ? s.filled : kNotLookedUp);
            addConstantUse(list, labelled ? 2 : 1);
            break;
        }
        case StatementCode::Org:
            if (s.operands[2][0] != '#') break;
            if (pass1)
                addConstantUse(list, 2);
            else if (std::strcmp(s.operands[1], "PGM") == 0)  // pass 2 sees the constants made before the line
                list.addUse(2, Constant, list.st.definitionsPassed);
            else
                list.add(2, Constant, false, kNotLookedUp);
            break;
        default: break;
    }
}

}  // namespace

void observeFile(const AsmState& st, EventKind kind, bool completed) {
    AsmEvent event = eventAt(st, kind);
    event.completed = completed;
    notify(st, event);
}

void observeStatement(const AsmState& st, const Statement& s, uint32_t start, bool completed) {
    AsmEvent event = eventAt(st, EventKind::Statement);
    StatementEvent& e = event.statement;
    e.label = s.label;
    e.word = s.word;
    for (uint32_t i = 1; i <= kMaxOperands; i++) e.operands[i] = s.operands[i];
    e.operands[0] = s.word;
    e.code = isShortWord(s) ? StatementCode::NotAStatement : lookupKeyword(s.word, s.wordLength);
    e.address = start;
    e.completed = completed;

    NameUse names[kMaxNameUses];
    NameList list{st, s, completed && st.pass == 1, names};
    if (s.hasLabel) list.add(0, JumpLabel, true, st.pass == 1 ? s.labelEntry : kNotLookedUp);
    if (const InstructionFormat* format = instructionFormat(e.code)) {
        e.size = format->size;
        e.written = completed ? nibblesWritten(*format, st.pass) : 0;
        for (uint8_t i = 0; i < format->fieldCount; i++) {
            const OperandField& field = format->fields[i];
            const char* token = s.operands[field.operand];
            if (field.fixedText != nullptr || token[0] != '#') continue;
            if (field.pass == st.pass)
                list.addUse(field.operand, field.kind);
            else
                list.add(field.operand, field.kind, false, kNotLookedUp);
        }
    } else {
        addDirectiveNames(list, e.code);
    }
    e.names = names;
    e.nameCount = list.count;
    notify(st, event);
}

void observeConstant(const AsmState& st, uint32_t entry) {
    AsmEvent event = eventAt(st, EventKind::Constant);
    event.constant = {entry, static_cast<uint32_t>(st.definitions[entry].value)};
    notify(st, event);
}

void observePattern(const AsmState& st, uint32_t slot) {
    AsmEvent event = eventAt(st, EventKind::PatternWord);
    event.pattern = {slot, st.patternMemory[slot].value, patternLabel(st, slot)[0] != '\0'};
    notify(st, event);
}

void observeOrigin(const AsmState& st, Segment segment, bool ignored) {
    AsmEvent event = eventAt(st, EventKind::Origin);
    const uint32_t origin = segment == Segment::Program ? st.programCounter : st.patternPointer;
    event.origin = {segment, ignored, origin};
    notify(st, event);
}

}  // namespace qvek
