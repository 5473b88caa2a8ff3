#include "passes/pass2.h"

#include <cstring>

#include "core/keywords.h"
#include "core/messages.h"
#include "core/numbers.h"
#include "core/operands.h"
#include "core/symbols.h"
#include "passes/observed.h"
#include "passes/statement.h"

namespace qvek {

namespace {

int fillTargets(AsmState& st, const InstructionFormat& format, const Statement& s) {
    const uint32_t start = st.programCounter;
    for (uint8_t i = 0; i < format.fieldCount; i++) {
        const OperandField& field = format.fields[i];
        if (field.pass != 2) continue;
        st.programCounter = start + field.offset - 1;
        const int label = encodeOperand(st, field.nibbles, s.operands[field.operand], st.currentLine, field.kind);
        if (label < 0) return -1;
        // A numeric target matches no label; its row names entry 0, as the listing always has.
        dump(st, "\n%-*s  0x%4.4x   %3.3d", static_cast<int>(st.labelWidth), programLabelName(st, label),
             static_cast<unsigned>(st.programLabels[label].address), st.currentLine);
    }
    st.programCounter = start + format.size;
    return 0;
}

// ORG PGM moves programCounter to where pass 1 moved it: a name counts only
// among the constants defined before this line, and nothing is reported twice.
void moveOrigin(AsmState& st, const Statement& s) {
    if (std::strcmp(s.operands[1], "PGM") != 0) return;
    const char* address = s.operands[2];
    uint32_t origin;
    if (address[0] == '#') {
        const int found = findDefinition(st, address, st.definitionsPassed);
        if (found < 0) return;
        origin = static_cast<uint32_t>(st.definitions[found].value);
    } else {
        origin = readNumber(address).value;
    }
    if (origin < kProgramNibbles) st.programCounter = origin;
}

int includeFile(AsmState& st, const Statement& s) {
    if (s.operands[1][0] == '\0') return 0;
    FILE* included = nullptr;
    if (openInclude(st, s.operands[1], &included) < 0) return -1;
    return runPass2(st, included);
}

int carryOut(AsmState& st, StatementCode code, const Statement& s) {
    if (const InstructionFormat* format = instructionFormat(code)) return fillTargets(st, *format, s);
    switch (code) {
        case StatementCode::Org: moveOrigin(st, s); return 0;
        case StatementCode::Inc: return includeFile(st, s);
        case StatementCode::Def: st.definitionsPassed++; return 0;
        default: return 0;
    }
}

// The operand tokens pass 2 reads in each statement: an instruction's target,
// ORG's memory and address, INC's file name. Other operands are not split.
struct OperandsRead {
    uint8_t last[256] = {};  // by StatementCode: the last operand token read, 0 for none
    constexpr OperandsRead() {
        for (const Keyword& k : kKeywords) {
            const InstructionFormat& format = kFormats[static_cast<int>(k.layout)];
            uint8_t& n = last[static_cast<uint8_t>(k.code)];
            for (uint8_t i = 0; i < format.fieldCount; i++)
                if (format.fields[i].pass == 2 && format.fields[i].operand > n) n = format.fields[i].operand;
        }
        last[static_cast<uint8_t>(StatementCode::Org)] = 2;
        last[static_cast<uint8_t>(StatementCode::Inc)] = 1;
    }
};
constexpr OperandsRead kOperandsRead;

// One line; returns 0, or -1 after a failure that ends the pass.
int fillLine(AsmState& st, char* line, Statement& s) {
    if (splitHead(st, line, s) < 0) return -1;
    // An observer is told of the first two operands of every line.
    if (st.observer != nullptr && splitOperands(st, s, 2) < 0) return -1;
    if (isShortWord(s)) return 0;
    const StatementCode code = lookupKeyword(s.word, s.wordLength);
    if (splitOperands(st, s, kOperandsRead.last[static_cast<uint8_t>(code)]) < 0) return -1;
    if (carryOut(st, code, s) < 0) return -1;
    // Only a source that changed since pass 1 can get here; its image would be wrong.
    if (st.programCounter >= kProgramNibbles)
        return error(st,
                     "\nERROR:- Program address beyond program memory on line %3.3d in file %s on pass 2. "
                     "Did the source change?",
                     st.currentLine, st.includeNames[0]);
    if (st.programCounter > st.programHighWater) st.programHighWater = st.programCounter;
    return 0;
}

int readStatements(AsmState& st, FILE* stream, char* line, Statement& s) {
    for (;;) {
        const int more = nextSourceLine(st, line, stream);
        if (more <= 0) return more;
        const uint32_t start = st.programCounter;
        const int result = fillLine(st, line, s);
        if (st.observer != nullptr) observeStatement(st, s, start, result >= 0);
        if (result < 0 && !goesOnAfterFailure(st, s, start)) return -1;
    }
}

}  // namespace

int runPass2(AsmState& st, FILE* stream) {
    const bool mainFile = st.includeDepth == 0;
    if (mainFile) st.linesDigest = kLineDigestSeed;
    st.pass = 2;
    const int result = readFile(st, stream, readStatements);
    if (!mainFile) return result;
    st.pass = 0;
    if (result < 0 || st.linesDigest == st.pass1Digest) return result;
    // Addresses that stayed in bounds are not enough: the targets were filled in for other lines.
    return error(st,
                 "\nERROR:- Source file %s, or a file it includes, read differently on pass 2 than on pass 1. "
                 "Nothing written !",
                 st.includeNames[0]);
}

}  // namespace qvek
