// DEF, PAT and ORG as pass 1 carries them out, from source text to tables.
#include <string>

#include "core/symbols.h"
#include "test_support.h"

namespace qvek::test {
namespace {

using Def = StateTest;

TEST_F(Def, ExpressionsRunLeftToRight) {
    struct Case {
        const char* expression;
        int32_t value;
    };
    const Case cases[] = {
        {"12 OR 3", 15},
        {"12 AND 10 OR 1", 9},
        {"5 XOR 1", 4},
        {"1 2", 2},  // no operator: the later value replaces the earlier
        {"AND 6", 0},
        {"OR 6", 6},
        {"1 OR 2 4", 4},    // an operator joins one pair only
        {"1 OR AND 3", 1},  // the second operator replaces the first
        {"6 AND", 6},       // a trailing operator is dropped
        {"", 0},
        {"NOT 0", -1},
        {"NOT 1 AND 2", -4},  // NOT stays on for every later value
        {"NOT NOT 5", 5},
        {"NOT 1 NOT AND 3", 2},
        {"7 AND NOT 2", 5},
        {"H10 OR B1 XOR D3", 18},
        // Only operands 2 to 16 are read: the 18th and 19th tokens of the line are not.
        {"1 OR 2 OR 4 OR 8 OR 16 OR 32 OR 64 OR 128 OR 256", 255},
    };
    std::string source;
    for (size_t i = 0; i < std::size(cases); i++)
        source += "def #E" + std::to_string(i) + " " + cases[i].expression + "\n";
    ASSERT_EQ(assemble(source), 0);
    for (size_t i = 0; i < std::size(cases); i++)
        EXPECT_EQ(constant(("#E" + std::to_string(i)).c_str()), cases[i].value) << cases[i].expression;
    EXPECT_EQ(st->definitionCount, std::size(cases));
    EXPECT_EQ(st->warningCount, 0);
    EXPECT_EQ(out(), "");
}

TEST_F(Def, NamesStandForTheirFirstDefinition) {
    ASSERT_EQ(assemble("DEF #A 3\n"
                       "DEF #B #A OR 4\n"
                       "DEF #A 7\n"
                       "DEF #C 6 XOR #C\n"  // its own name is the value so far
                       "DEF #LONGER_NAME_15 #A\n"
                       "LDA #A\n"
                       "#L DEF #D 5 OR 2\n"),  // a label line has two expression tokens
              0);
    EXPECT_EQ(constant("#B"), 7);
    EXPECT_EQ(constant("#A"), 3);
    EXPECT_EQ(st->definitions[2].value, 7);
    EXPECT_EQ(constant("#C"), 0);
    EXPECT_EQ(constant("#LONGER_NAME_15"), 3);
    EXPECT_EQ(constant("#D"), 5);
    EXPECT_EQ(nibbles(0, 3), "430");
    EXPECT_EQ(st->labelWidth, 15u);
    EXPECT_EQ(st->warningCount, 0);
}

TEST_F(Def, UndefinedNameIsSkipped) {
    ASSERT_EQ(assemble("NOP\nDEF #A 4 OR #B 1\n"), 0);
    EXPECT_EQ(constant("#A"), 5);  // the OR waits for the next value
    EXPECT_EQ(out(), "\nWARNING:- Definition for #B is not defined on line 002in file test.qvs");
    EXPECT_EQ(st->warningCount, 1);
}

TEST_F(Def, WithoutOperandTakesAnEntryNoLookupFinds) {
    ASSERT_EQ(assemble("DEF\nDEF X 5\n"), 0);
    EXPECT_EQ(st->definitionCount, 2u);
    EXPECT_STREQ(definitionName(*st, 0), "");
    EXPECT_STREQ(definitionName(*st, 1), "X");
    EXPECT_EQ(st->definitions[1].value, 5);
}

TEST_F(Def, The4097thIsRefused) {
    std::string source;
    for (int i = 0; i < 4096; i++) source += "DEF #D" + std::to_string(i) + " " + std::to_string(i) + "\n";
    ASSERT_EQ(assemble(source + "DEF #ONE_TOO_MANY 1\nNOP\n"), -1);
    EXPECT_EQ(out(), "\nERROR:- Available Definition storage space exhuasted !");
    EXPECT_EQ(st->errorCount, 1);
    EXPECT_EQ(st->definitionCount, 4096u);
    EXPECT_EQ(st->definitions[4095].value, 4095);
    EXPECT_EQ(findDefinition(*st, "#ONE_TOO_MANY"), -1);
    EXPECT_EQ(st->programCounter, 0u);
}

using Pat = StateTest;

TEST_F(Pat, SequentialWords) {
    ASSERT_EQ(assemble("DEF #K 12\nPAT #P1 5\nPAT 7\nPAT #K\nPAT\nPAT #P5 #K\n"), 0);
    EXPECT_STREQ(patternLabel(*st, 0), "#P1");
    EXPECT_EQ(st->patternMemory[0].value, 5u);
    EXPECT_STREQ(patternLabel(*st, 1), "");
    EXPECT_STREQ(patternValueText(*st, 1), "7");
    EXPECT_EQ(st->patternMemory[1].value, 7u);
    // A single '#' name is the value, not a label.
    EXPECT_STREQ(patternLabel(*st, 2), "");
    EXPECT_EQ(st->patternMemory[2].value, 12u);
    EXPECT_EQ(findPatternLabel(*st, "#K"), -1);
    EXPECT_EQ(st->patternMemory[3].value, 0u);
    EXPECT_STREQ(patternLabel(*st, 4), "#P5");
    EXPECT_STREQ(patternValueText(*st, 4), "#K");
    EXPECT_EQ(st->patternMemory[4].value, 12u);
    EXPECT_EQ(st->patternPointer, 5u);
    EXPECT_EQ(st->patternHighWater, 5u);
    EXPECT_EQ(st->warningCount, 0);
}

TEST_F(Pat, ByAddressWarnsBeforeOverwritingALabel) {
    ASSERT_EQ(assemble("PAT #P2 9 20\nPAT #P3 1 21\n"), 0);
    EXPECT_EQ(out(),
              "\nWARNING:- Absolute Pattern memory value #P3 will overwrite currently assigned label #P2 at address "
              "ox000a on line 002 of file test.qvs");
    EXPECT_STREQ(patternLabel(*st, 10), "#P3");
    EXPECT_EQ(st->patternMemory[10].value, 1u);
    EXPECT_EQ(st->patternPointer, 0u);
    EXPECT_EQ(st->patternHighWater, 0u);

    // Unlabelled words leave their slot free: overwritten without a word.
    ASSERT_EQ(assemble("ORG PAT 0\nPAT 7\nPAT #Q 3 0\n"), 0);
    EXPECT_STREQ(patternLabel(*st, 0), "#Q");
    EXPECT_EQ(st->patternMemory[0].value, 3u);
    EXPECT_EQ(st->warningCount, 1);
}

TEST_F(Pat, SequentialWordsSkipOccupiedSlots) {
    ASSERT_EQ(assemble("PAT #X 1 2\nPAT #A 5\nPAT #B 6\n"), 0);
    EXPECT_EQ(findPatternLabel(*st, "#A"), 0);
    EXPECT_EQ(findPatternLabel(*st, "#B"), 2);
    EXPECT_EQ(st->patternPointer, 3u);
}

TEST_F(Pat, NameAsAddressIsANumberWithoutHash) {
    ASSERT_EQ(assemble("PAT #L 5 #ADDR\n"), 0);
    EXPECT_EQ(out(), "\nWARNING:- Definition for #ADDR is possibly missing '#' on line 001 in file test.qvs");
    EXPECT_STREQ(patternLabel(*st, 0), "#L");
}

TEST_F(Pat, UndefinedValueErrsByAddressWarnsOtherwise) {
    ASSERT_EQ(assemble("PAT 4\nORG PAT 0\nPAT #W #NONE\n"), 0);
    EXPECT_EQ(out(), "\nWARNING:- Definition for #NONE is not defined on line 003 in file test.qvs");
    EXPECT_EQ(st->patternMemory[0].value, 4u);  // keeps what it held
    EXPECT_EQ(st->patternPointer, 1u);

    EXPECT_EQ(assemble("PAT #V #NONE 8\nNOP\n"), -1);
    EXPECT_EQ(out().substr(out().rfind('\n')),
              "\nERROR:- Definition for #NONE is not defined on line 001 in file test.qvs");
    EXPECT_EQ(st->errorCount, 1);
    EXPECT_EQ(st->programCounter, 0u);
}

TEST_F(Pat, SpaceEndsAfter1024Words) {
    std::string source;
    for (int i = 0; i < 1024; i++) source += "PAT " + std::to_string(i) + "\n";
    ASSERT_EQ(assemble(source + "PAT 1\nNOP\n"), -1);
    EXPECT_EQ(out(), "\nERROR:- Available KRX Pattern memory segment space exhuasted !");
    EXPECT_EQ(st->patternMemory[1023].value, 1023u);
    EXPECT_EQ(st->patternHighWater, 1024u);
    EXPECT_EQ(st->programCounter, 0u);
}

TEST_F(Pat, AddressBeyondPatternMemoryIsRefused) {
    ASSERT_EQ(assemble("PAT #TOP 1 2047\n"), 0);
    EXPECT_STREQ(patternLabel(*st, 1023), "#TOP");
    for (const char* address : {"2048", "H-2", "D4294967295"}) {
        auto fresh = std::make_unique<AsmState>();
        fresh->silent = true;
        EXPECT_EQ(runPass1(*fresh, streamOf(std::string("PAT #FAR 1 ") + address + "\nNOP\n")), -1) << address;
        EXPECT_EQ(fresh->errorCount, 1) << address;
        EXPECT_EQ(fresh->programCounter, 0u) << address;
        EXPECT_EQ(findPatternLabel(*fresh, "#FAR"), -1) << address;
    }
    EXPECT_EQ(assemble("PAT #FAR 1 2048\n"), -1);
    EXPECT_EQ(out().rfind("\nERROR:- ", 0), 0u) << out();
    EXPECT_NE(out().find("2048"), std::string::npos) << out();
}

using Org = StateTest;

TEST_F(Org, ProgramOrigin) {
    ASSERT_EQ(assemble("NOP\nORG PGM 4095\n"), 0);
    EXPECT_EQ(st->programCounter, 4095u);
    ASSERT_EQ(assemble("ORG PGM 4096\n"), 0);
    EXPECT_EQ(out(),
              "\nWARNING:- ORG statement on line 001 in file test.qvs will exceed allowed program memory space. "
              "Statement ignored.");
    EXPECT_EQ(st->programCounter, 4095u);
    ASSERT_EQ(assemble("ORG PGM\n"), 0);
    EXPECT_EQ(st->programCounter, 0u);
    ASSERT_EQ(assemble("DEF #START H100\nORG PGM #START\nORG PGM #LATER\nORG FOO 5\nDEF #LATER 5\n"), 0);
    EXPECT_EQ(st->programCounter, 0x100u);
    EXPECT_EQ(st->warningCount, 2);
    EXPECT_NE(out().find("\nWARNING:- Definition for #LATER is not defined on line 003 in file test.qvs"),
              std::string::npos);
}

TEST_F(Org, LabelOfAProgramOriginNamesTheNewAddress) {
    ASSERT_EQ(assemble("NOP\n#HERE ORG PGM 256\n#STAY ORG PAT 100\n#NEXT\nLDA 1\nORG PGM 512\nORG PGM 259\n"), 0);
    EXPECT_EQ(st->programLabels[0].address, 256);
    EXPECT_EQ(st->programLabels[1].address, 256);
    EXPECT_EQ(st->programLabels[2].address, 256);
    EXPECT_EQ(st->labelCount, 3u);
    EXPECT_EQ(st->programCounter, 259u);

    ASSERT_EQ(assemble("#HERE2 ORG PAT 10\n"), 0);
    EXPECT_EQ(st->programLabels[3].address, 259);
}

TEST_F(Org, PatternOriginTakesHostAddresses) {
    struct Case {
        const char* address;
        uint32_t pointer;
    };
    for (const Case& c : {Case{"7", 3}, Case{"1023", 511}, Case{"2047", 1023}, Case{"0", 0}}) {
        ASSERT_EQ(assemble(std::string("ORG PAT ") + c.address + "\n"), 0);
        EXPECT_EQ(st->patternPointer, c.pointer) << c.address;
    }
    EXPECT_EQ(st->warningCount, 0);
    EXPECT_EQ(st->patternHighWater, 1023u);  // it follows the pointer upward only

    ASSERT_EQ(assemble("ORG PAT 1200\nORG PAT 2048\n"), 0);
    EXPECT_EQ(out(),
              "\nWARNING:- ORG statement on line 002 in file test.qvs will exceed allowed pattern memory space. "
              "Statement ignored.");
    EXPECT_EQ(st->patternPointer, 600u);
    // An undefined name leaves the pointer where it is.
    ASSERT_EQ(assemble("ORG PAT #NONE\n"), 0);
    EXPECT_EQ(st->patternPointer, 600u);
    EXPECT_EQ(st->warningCount, 2);
}

}  // namespace
}  // namespace qvek::test
