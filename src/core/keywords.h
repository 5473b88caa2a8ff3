// Statement words and instruction formats: the one keyword list yields the
// StatementCode values, the lookup table and each instruction's format, which
// pass 1 and pass 2 both read so they advance programCounter identically.
// Writes nothing in AsmState.
//
// An instruction assembled at nibble address A (fields least significant
// nibble first):
//
//   nibble     A       A+1   A+2   A+3   A+4
//   NOP ..   [ op  ]
//   LMR LRB  [ op  ] [ c ]
//   LDA ..   [ op  ] [ c0    c1 ]
//   LPP      [ op  ] [ s0    s1    s2 ]              s = pattern slot
//   CAL      [ op  ] [ t0    t1    t2 ]              t = target, pass 2
//   JCB      [ op  ] [ t0    t1    t2 ] [cond]
//   JMP      [  9  ] [ t0    t1    t2 ] [ 0  ]
#pragma once

#include <cstdint>

namespace qvek {

enum OperandKind : uint8_t {
    PatternLabel = 0,  // patternMemory labels; the value is the slot
    Constant = 1,      // definitions; the value is the constant
    JumpLabel = 2,     // programLabels below labelCount; the value is the address
};

// How a statement occupies program memory (an index into kFormats).
enum class Layout : uint8_t { Directive, OpcodeOnly, Constant1, Constant2, PatternSlot, Call, Branch, Jump };

// The statement words in the order lookupKeyword compares them:
// word, enumerator, StatementCode, layout.
#define QVEK_KEYWORDS(X)              \
    X(LPP, Lpp, 0x01, PatternSlot)    \
    X(IPP, Ipp, 0x02, OpcodeOnly)     \
    X(DPP, Dpp, 0x03, OpcodeOnly)     \
    X(LDA, Lda, 0x04, Constant2)      \
    X(LMR, Lmr, 0x05, Constant1)      \
    X(LSR, Lsr, 0x06, Constant2)      \
    X(CAL, Cal, 0x07, Call)           \
    X(RET, Ret, 0x08, OpcodeOnly)     \
    X(JCB, Jcb, 0x09, Branch)         \
    X(LRB, Lrb, 0x0A, Constant1)      \
    X(LPB, Lpb, 0x0B, OpcodeOnly)     \
    X(LPE, Lpe, 0x0C, OpcodeOnly)     \
    X(DMS, Dms, 0x0D, Constant2)      \
    X(DUS, Dus, 0x0F, Constant2)      \
    X(DSC, Dsc, 0x0E, Constant2)      \
    X(NOP, Nop, 0x00, OpcodeOnly)     \
    X(DEF, Def, 0xFE, Directive)      \
    X(PAT, Pat, 0xFD, Directive)      \
    X(ORG, Org, 0xFC, Directive)      \
    X(JMP, Jmp, 0xFB, Jump)           \
    X(NOT, Not, 0xF7, Directive)      \
    X(AND, And, 0xF8, Directive)      \
    X(OR, Or, 0xF9, Directive)        \
    X(XOR, Xor, 0xFA, Directive)      \
    X(INC, Inc, 0xF6, Directive)

enum class StatementCode : uint8_t {
#define QVEK_CODE(word, name, code, layout) name = code,
    QVEK_KEYWORDS(QVEK_CODE)
#undef QVEK_CODE
    NotAStatement = 0xFF,
};

struct Keyword {
    const char* word;
    StatementCode code;
    Layout layout;
};

constexpr Keyword kKeywords[] = {
#define QVEK_ENTRY(word, name, code, layout) {#word, StatementCode::name, Layout::layout},
    QVEK_KEYWORDS(QVEK_ENTRY)
#undef QVEK_ENTRY
};
constexpr int kKeywordCount = sizeof kKeywords / sizeof kKeywords[0];

// One operand field of an instruction.
struct OperandField {
    uint8_t operand;        // operand token number, 1 or 2
    uint8_t offset;         // nibble of the field's least significant digit, after A
    uint8_t nibbles;        // width, 1 to 3
    OperandKind kind;       // table a # name is looked up in
    uint8_t pass;           // 1 or 2: the pass that writes the field
    const char* fixedText;  // operand text used instead of the token, or null
};

struct InstructionFormat {
    uint8_t size;         // nibbles the statement occupies; 0 for directives
    int8_t opcode;        // opcode nibble, or -1 for the StatementCode itself
    uint8_t fieldCount;   // used entries of fields
    OperandField fields[2];
};

constexpr InstructionFormat kFormats[] = {
    /* Directive   */ {0, -1, 0, {}},
    /* OpcodeOnly  */ {1, -1, 0, {}},
    /* Constant1   */ {2, -1, 1, {{1, 1, 1, Constant, 1, nullptr}}},
    /* Constant2   */ {3, -1, 1, {{1, 1, 2, Constant, 1, nullptr}}},
    /* PatternSlot */ {4, -1, 1, {{1, 1, 3, PatternLabel, 1, nullptr}}},
    /* Call        */ {4, -1, 1, {{1, 1, 3, JumpLabel, 2, nullptr}}},
    /* Branch      */ {5, -1, 2, {{1, 1, 3, JumpLabel, 2, nullptr}, {2, 4, 1, Constant, 1, nullptr}}},
    /* Jump        */ {5, 9, 2, {{1, 1, 3, JumpLabel, 2, nullptr}, {2, 4, 1, Constant, 1, "0"}}},
};
static_assert(sizeof kFormats / sizeof kFormats[0] == static_cast<int>(Layout::Jump) + 1,
              "one format per layout");

/// Returns the StatementCode of an upper-cased word, NotAStatement for any other word.
StatementCode lookupKeyword(const char* word);
/// The same for a word whose length is known, as a split line gives it.
StatementCode lookupKeyword(const char* word, uint32_t length);
/// Returns the format of an instruction, or null for directives, operators and other words.
const InstructionFormat* instructionFormat(StatementCode code);
/// Returns the opcode nibble an instruction stores at its first address.
uint8_t opcodeOf(StatementCode code, const InstructionFormat& format);

}  // namespace qvek
