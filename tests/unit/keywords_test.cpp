#include "core/keywords.h"

#include <cstring>
#include <string>
#include <vector>

#include "test_support.h"

namespace qvek::test {
namespace {

struct Word {
    const char* word;
    int code;
    int size;  // nibbles an instruction occupies; 0 for words that are no instruction
};

const Word kWords[] = {
    {"LPP", 1, 4},    {"IPP", 2, 1},    {"DPP", 3, 1},    {"LDA", 4, 3},    {"LMR", 5, 2},
    {"LSR", 6, 3},    {"CAL", 7, 4},    {"RET", 8, 1},    {"JCB", 9, 5},    {"LRB", 10, 2},
    {"LPB", 11, 1},   {"LPE", 12, 1},   {"DMS", 13, 3},   {"DUS", 15, 3},   {"DSC", 14, 3},
    {"NOP", 0, 1},    {"DEF", 0xFE, 0}, {"PAT", 0xFD, 0}, {"ORG", 0xFC, 0}, {"JMP", 0xFB, 5},
    {"NOT", 0xF7, 0}, {"AND", 0xF8, 0}, {"OR", 0xF9, 0},  {"XOR", 0xFA, 0}, {"INC", 0xF6, 0},
};

TEST(Keywords, CodesAndSizes) {
    for (const Word& w : kWords) {
        const StatementCode code = lookupKeyword(w.word);
        EXPECT_EQ(static_cast<int>(code), w.code) << w.word;
        const InstructionFormat* format = instructionFormat(code);
        EXPECT_EQ(format != nullptr ? format->size : 0, w.size) << w.word;
        if (format != nullptr && std::strcmp(w.word, "JMP") != 0) {
            EXPECT_EQ(opcodeOf(code, *format), w.code) << w.word;
        }
    }
}

TEST(Keywords, OtherWordsAreNoStatement) {
    // The reader upper-cases, so lower case never reaches the table.
    for (const char* word : {"LOAD", "MOV", "", "NO", "NOPX", "nop", "Nop", "#NOP", "NOP "})
        EXPECT_EQ(lookupKeyword(word), StatementCode::NotAStatement) << word;
    EXPECT_EQ(instructionFormat(StatementCode::NotAStatement), nullptr);
}

TEST(Keywords, EveryShortWordIsLookedUpAsInTheList) {
    // All words of up to four characters from the letters of the statement words
    // and a few others, against a plain search of the list.
    const std::string letters = "ABCDEFGIJLMNOPRSTUX#\x80";
    const auto listed = [](const std::string& word) {
        for (const Keyword& k : kKeywords)
            if (word == k.word) return k.code;
        return StatementCode::NotAStatement;
    };
    std::vector<std::string> words = {""};
    for (size_t from = 0, length = 1; length <= 4; length++) {
        const size_t to = words.size();
        for (size_t i = from; i < to; i++)
            for (char c : letters) words.push_back(words[i] + c);
        from = to;
    }
    words.push_back("NOPS");
    words.push_back("XORED");
    int found = 0;
    for (const std::string& word : words) {
        const StatementCode code = lookupKeyword(word.c_str());
        ASSERT_EQ(code, listed(word)) << '"' << word << '"';
        ASSERT_EQ(lookupKeyword(word.c_str(), static_cast<uint32_t>(word.size())), code) << '"' << word << '"';
        found += code != StatementCode::NotAStatement;
    }
    EXPECT_EQ(found, kKeywordCount);
}

TEST(Keywords, JumpIsABranchWithConditionZero) {
    const InstructionFormat& jump = *instructionFormat(StatementCode::Jmp);
    const InstructionFormat& branch = *instructionFormat(StatementCode::Jcb);
    EXPECT_EQ(opcodeOf(StatementCode::Jmp, jump), 9);
    ASSERT_EQ(jump.fieldCount, 2);
    ASSERT_EQ(branch.fieldCount, 2);
    // The target: three nibbles after the opcode, a program label, written by pass 2.
    for (const InstructionFormat* f : {&jump, &branch}) {
        EXPECT_EQ(f->fields[0].offset, 1);
        EXPECT_EQ(f->fields[0].nibbles, 3);
        EXPECT_EQ(f->fields[0].kind, JumpLabel);
        EXPECT_EQ(f->fields[0].pass, 2);
        EXPECT_EQ(f->fields[1].offset, 4);
        EXPECT_EQ(f->fields[1].nibbles, 1);
        EXPECT_EQ(f->fields[1].kind, Constant);
        EXPECT_EQ(f->fields[1].pass, 1);
    }
    EXPECT_EQ(branch.fields[1].fixedText, nullptr);
    ASSERT_NE(jump.fields[1].fixedText, nullptr);
    EXPECT_STREQ(jump.fields[1].fixedText, "0");
}

using Instructions = StateTest;

TEST_F(Instructions, PassOneWritesOpcodesAndResolvedFields) {
    ASSERT_EQ(assemble("DUS 5\nDSC 5\nnop\nLMR 9\nLPP 3\n"), 0);
    EXPECT_EQ(nibbles(0, 14),
              "F50"
              "E50"
              "0"
              "59"
              "1300"
              "0");
    EXPECT_EQ(st->programCounter, 13u);

    // CAL and the targets of JCB and JMP are left for pass 2; JMP takes condition 0 whatever follows.
    ASSERT_EQ(assemble("ORG PGM 16\nLDA 5\nJCB #L 3\nCAL #L\nJMP #L 7\nIPP 1 2 3\n"), 0);
    EXPECT_EQ(nibbles(16, 18),
              "450"
              "90003"
              "7000"
              "90000"
              "2");
    EXPECT_EQ(st->programCounter, 34u);
    EXPECT_EQ(st->warningCount, 0);
    EXPECT_EQ(out(), "");
}

TEST_F(Instructions, ConditionMissingEndsThePass) {
    EXPECT_EQ(assemble("NOP\nJCB #L\nNOP\n"), -1);
    EXPECT_EQ(out(), "\nERROR:- Operand missing from line 002 in file test.qvs");
    EXPECT_EQ(st->errorCount, 1);
    EXPECT_EQ(st->programImage[1], 9);
}

TEST_F(Instructions, UnknownWordsWarnShortWordsAreSkipped) {
    EXPECT_EQ(assemble("LOAD 5\nOR 1\nGO\nX\nXOR 1\nNOP\n"), 0);
    EXPECT_EQ(out(),
              "\nWARNING:- Undefined SYNTAX ERROR: at LINE 001 in file test.qvs"
              "\nWARNING:- Undefined SYNTAX ERROR: at LINE 005 in file test.qvs");
    EXPECT_EQ(st->warningCount, 2);
    EXPECT_EQ(st->programCounter, 1u);
}

TEST_F(Instructions, LastNibbleAt4095ExhaustsProgramSpace) {
    EXPECT_EQ(assemble("ORG PGM 4094\nNOP\nNOP\nNOP\n"), -1);
    EXPECT_EQ(out(), "\nERROR:- Available KRX program segment space exhuasted !");
    EXPECT_EQ(st->errorCount, 1);
    EXPECT_EQ(st->programCounter, 4096u);
}

}  // namespace
}  // namespace qvek::test
