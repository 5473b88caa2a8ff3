#include "passes/pass1.h"

#include "core/keywords.h"
#include "core/messages.h"
#include "core/operands.h"
#include "core/symbols.h"
#include "passes/directives.h"
#include "passes/observed.h"
#include "passes/statement.h"

namespace qvek {

namespace {

// Returns the label's entry, or -1 when the table is full.
int registerLabel(AsmState& st, const char* label) {
    const int entry = addProgramLabel(st, label, st.programCounter);
    if (entry < 0)
        return error(st, "\nERROR:- Available program label space exhausted (%u labels) on line %3.3d in file %s !",
                     kMaxProgramLabels, st.currentLine, st.includeNames[0]);
    widenLabelColumn(st, label);
    return entry;
}

// The opcode and the operand fields that pass 1 writes; the targets of CAL,
// JCB and JMP are left to pass 2.
int assembleInstruction(AsmState& st, StatementCode code, const InstructionFormat& format, const Statement& s) {
    const uint32_t start = st.programCounter;
    st.programImage[start] = opcodeOf(code, format);
    for (uint8_t i = 0; i < format.fieldCount; i++) {
        const OperandField& field = format.fields[i];
        if (field.pass != 1) continue;
        const char* token = field.fixedText != nullptr ? field.fixedText : s.operands[field.operand];
        st.programCounter = start + field.offset - 1;  // the field begins after programCounter
        if (encodeOperand(st, field.nibbles, token, st.currentLine, field.kind) < 0) return -1;
    }
    st.programCounter = start + format.size;
    return 0;
}

int includeFile(AsmState& st, const Statement& s) {
    const char* name = s.operands[1];
    if (name[0] == '\0')
        return warning(st, "\nWARNING:- INCLUDE File name missing in line %3.3d in file %s. Statement ignored.",
                       st.currentLine, st.includeNames[0]);
    FILE* included = nullptr;
    if (openInclude(st, name, &included) < 0) return -1;
    dump(st, "\nIncluding File: %s", name);
    return runPass1(st, included);
}

int carryOut(AsmState& st, StatementCode code, const Statement& s) {
    if (const InstructionFormat* format = instructionFormat(code)) return assembleInstruction(st, code, *format, s);
    switch (code) {
        case StatementCode::Inc: return includeFile(st, s);
        case StatementCode::Def: return defineConstant(st, s);
        case StatementCode::Pat: return storePattern(st, s);
        case StatementCode::Org: return setOrigin(st, s);
        default:
            return warning(st, "\nWARNING:- Undefined SYNTAX ERROR: at LINE %3.3d in file %s", st.currentLine,
                           st.includeNames[0]);
    }
}

// One line: its label, then its statement; returns 0, or -1 after a failure that ends the pass.
int assembleLine(AsmState& st, char* line, Statement& s) {
    s.labelEntry = -1;
    s.filled = -1;
    if (splitStatement(st, line, s, kMaxOperands, 3) < 0) return -1;
    if (s.hasLabel) {
        s.labelEntry = registerLabel(st, s.label);
        if (s.labelEntry < 0) return -1;
    }
    if (isShortWord(s)) return 0;
    const int filled = carryOut(st, lookupKeyword(s.word, s.wordLength), s);
    if (filled < 0) return -1;
    s.filled = filled;
    if (st.programCounter >= kProgramNibbles)
        return error(st, "\nERROR:- Available KRX program segment space exhuasted !");
    return 0;
}

int readStatements(AsmState& st, FILE* stream, char* line, Statement& s) {
    for (;;) {
        const int more = nextSourceLine(st, line, stream);
        if (more <= 0) return more;
        if (st.dumpListing) dump(st, "\n%3.3d %s", st.currentLine, line);
        const uint32_t start = st.programCounter;
        const int result = assembleLine(st, line, s);
        if (st.observer != nullptr) observeStatement(st, s, start, result >= 0);
        if (result < 0 && !goesOnAfterFailure(st, s, start)) return -1;
        // A line without a statement word moves no pointer, so raising the mark is harmless there.
        if (st.patternPointer > st.patternHighWater) st.patternHighWater = st.patternPointer;
    }
}

}  // namespace

int runPass1(AsmState& st, FILE* stream) {
    // What the main file and its includes read is what pass 2 must read again.
    const bool mainFile = st.includeDepth == 0;
    if (mainFile) st.linesDigest = kLineDigestSeed;
    st.pass = 1;
    const int result = readFile(st, stream, readStatements);
    if (mainFile) {
        st.pass1Digest = st.linesDigest;
        st.pass = 0;
    }
    return result;
}

}  // namespace qvek
