#include "core/operands.h"

#include <cstring>
#include <string>

#include "test_support.h"

namespace qvek::test {
namespace {

constexpr uint8_t kUntouched = 0x77;  // no nibble value: shows what was written

class Operands : public StateTest {
  protected:
    Operands() {
        std::memset(st->programImage, kUntouched, sizeof st->programImage);
        st->programCounter = 16;
        st->currentLine = 7;
    }

    void define(uint32_t entry, const char* name, int32_t value) {
        setDefinitionName(*st, entry, name);
        st->definitions[entry].value = value;
    }

    // Nibbles 16..20: the opcode place, the three field places and the one after.
    std::string field() const {
        std::string s;
        for (uint32_t a = 16; a <= 20; a++)
            s += st->programImage[a] == kUntouched ? '.' : "0123456789ABCDEF"[st->programImage[a]];
        return s;
    }

    static std::string overflow(const char* full, int line, const char* cut) {
        return std::string("\nWARNING:-  Value (0x") + full + ") has overflowed precision on line " +
               (line < 10 ? "00" : "0") + std::to_string(line) +
               " in file test.qvs\n           Value has been truncated to 0x" + cut;
    }
};

TEST_F(Operands, FieldWidthsAtTheirLimits) {
    struct Case {
        uint32_t nibbles;
        const char* token;
        const char* field;
    };
    const Case fits[] = {{1, "15", ".F..."},  {2, "255", ".FF.."}, {3, "4095", ".FFF."},
                         {3, "H10", ".010."}, {2, "0", ".00.."},   {3, "HA3", ".3A0."}};
    for (const Case& c : fits) {
        std::memset(st->programImage, kUntouched, sizeof st->programImage);
        EXPECT_EQ(encodeOperand(*st, c.nibbles, c.token, 7, Constant), 0) << c.token;
        EXPECT_EQ(field(), c.field) << c.token;
    }
    EXPECT_EQ(st->warningCount, 0);
    EXPECT_EQ(out(), "");
}

TEST_F(Operands, OverflowWarnsAndWritesTheLowNibbles) {
    struct Case {
        uint32_t nibbles;
        const char* token;
        const char* full;
        const char* cut;
        const char* field;
    };
    const Case cases[] = {
        {1, "16", "10", "0", ".0..."},        {2, "256", "100", "0", ".00.."},
        {3, "4096", "1000", "0", ".000."},    {2, "H1A3", "1a3", "a3", ".3A.."},
        {1, "D-1", "ffffffff", "f", ".F..."}, {3, "HFFFFFFFF", "ffffffff", "fff", ".FFF."},
    };
    std::string expected;
    for (const Case& c : cases) {
        std::memset(st->programImage, kUntouched, sizeof st->programImage);
        EXPECT_EQ(encodeOperand(*st, c.nibbles, c.token, 42, Constant), 0) << c.token;
        EXPECT_EQ(field(), c.field) << c.token;
        expected += overflow(c.full, 42, c.cut);
    }
    EXPECT_EQ(out(), expected);
    EXPECT_EQ(st->warningCount, 6);
    EXPECT_EQ(st->errorCount, 0);
}

TEST_F(Operands, NegativeConstantExceedsEveryField) {
    define(0, "#NEG", -2);
    EXPECT_EQ(encodeOperand(*st, 2, "#NEG", 7, Constant), 0);
    EXPECT_EQ(field(), ".EF..");
    EXPECT_EQ(out(), overflow("fffffffe", 7, "fe"));
}

TEST_F(Operands, SilentOverflowIsCountedOnly) {
    st->silent = true;
    EXPECT_EQ(encodeOperand(*st, 1, "17", 7, Constant), 0);
    EXPECT_EQ(field(), ".1...");
    EXPECT_EQ(st->warningCount, 1);
    EXPECT_EQ(out(), "");
}

TEST_F(Operands, NamesResolveInTheirOwnTable) {
    define(3, "#A", 1);
    define(7, "#A", 2);  // a later definition of the same name is never seen
    EXPECT_EQ(encodeOperand(*st, 2, "#A", 7, Constant), 3);
    EXPECT_EQ(field(), ".10..");

    setPatternLabel(*st, 5, "#P");
    EXPECT_EQ(encodeOperand(*st, 3, "#P", 7, PatternLabel), 5);
    EXPECT_EQ(field(), ".500.");
    setPatternLabel(*st, 1023, "#LAST");  // every slot is searched
    EXPECT_EQ(encodeOperand(*st, 3, "#LAST", 7, PatternLabel), 1023);
    EXPECT_EQ(field(), ".FF3.");

    addProgramLabel(*st, "#X", 0);
    addProgramLabel(*st, "#L", 0x123);
    addProgramLabel(*st, "#L", 0x456);
    EXPECT_EQ(encodeOperand(*st, 3, "#L", 7, JumpLabel), 1);
    EXPECT_EQ(field(), ".321.");
    EXPECT_EQ(st->warningCount + st->errorCount, 0);
}

TEST_F(Operands, FailuresWriteNothing) {
    struct Case {
        OperandKind kind;
        const char* token;
        const char* message;
    };
    addProgramLabel(*st, "#LOOP", 4);
    define(0, "#K", 1);
    const Case cases[] = {
        {Constant, "", "\nERROR:- Operand missing from line 042 in file test.qvs"},
        {JumpLabel, "", "\nERROR:- Operand missing from line 042 in file test.qvs"},
        {PatternLabel, "#P", "\nERROR:- Pattern Memory Label #P is not defined on line 042 in file test.qvs"},
        {Constant, "#LOOP", "\nERROR:- Definition for #LOOP is not defined on line 042 in file test.qvs"},
        {JumpLabel, "#K", "\nERROR:- Jump Address Label #K is not defined on line 042 in file test.qvs"},
        {Constant, "#", "\nERROR:- Definition for # is not defined on line 042 in file test.qvs"},
        {Constant, "#k", "\nERROR:- Definition for #k is not defined on line 042 in file test.qvs"},
    };
    int errors = 0;
    for (const Case& c : cases) {
        const std::string before = out();
        EXPECT_EQ(encodeOperand(*st, 3, c.token, 42, c.kind), -1) << c.token;
        EXPECT_EQ(out().substr(before.size()), c.message);
        EXPECT_EQ(st->errorCount, ++errors);
    }
    EXPECT_EQ(field(), ".....");
    EXPECT_EQ(st->warningCount, 0);
}

TEST_F(Operands, FieldOutsideTheImageIsRefused) {
    // Neither a wild address nor a width no format has may write past the image.
    st->programCounter = kProgramImageSize - 3;
    EXPECT_EQ(encodeOperand(*st, 3, "1", 7, Constant), -1);
    EXPECT_EQ(st->programImage[kProgramImageSize - 1], kUntouched);
    st->programCounter = 16;
    EXPECT_EQ(encodeOperand(*st, 4, "1", 7, Constant), -1);
    EXPECT_EQ(out(),
              "\nERROR:- Program address 0x1001 on line 007 in file test.qvs lies outside program memory"
              "\nERROR:- Program address 0x10 on line 007 in file test.qvs lies outside program memory");
    EXPECT_EQ(st->errorCount, 2);
    EXPECT_EQ(field(), ".....");
}

TEST_F(Operands, JumpLabelsAreSeenOnlyBelowLabelCount) {
    addProgramLabel(*st, "#EARLY", 1);
    addProgramLabel(*st, "#LATER", 2);
    st->labelCount = 1;
    EXPECT_EQ(encodeOperand(*st, 3, "#LATER", 7, JumpLabel), -1);
    st->labelCount = 2;
    EXPECT_EQ(encodeOperand(*st, 3, "#LATER", 7, JumpLabel), 1);
    EXPECT_EQ(field(), ".200.");
}

TEST_F(Operands, HashAloneMatchesOnlyAHashName) {
    define(2, "#", 9);
    EXPECT_EQ(encodeOperand(*st, 1, "#", 7, Constant), 2);
    EXPECT_EQ(field(), ".9...");
}

TEST_F(Operands, NumberWithoutDigitIsZeroAfterAWarning) {
    EXPECT_EQ(encodeOperand(*st, 2, "VAL", 7, Constant), 0);
    EXPECT_EQ(field(), ".00..");
    EXPECT_EQ(out(), "\nWARNING:- Definition for VAL is possibly missing '#' on line 007 in file test.qvs");
    EXPECT_EQ(st->errorCount, 0);
}

}  // namespace
}  // namespace qvek::test
