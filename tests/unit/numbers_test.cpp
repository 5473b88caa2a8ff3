#include "core/numbers.h"

#include <string>

#include "test_support.h"

namespace qvek::test {
namespace {

class Numbers : public StateTest {
  protected:
    Numbers() { st->currentLine = 7; }
};

struct Case {
    std::string token;
    uint32_t value;
};

const std::string kOneThen32Zeros = "B1" + std::string(32, '0');

TEST_F(Numbers, ReadSilentlyByPrefixAndLeadingZeros) {
    const Case cases[] = {
        {"0X1F", 31},
        {"X1F", 31},
        {"H1F", 31},
        {"0H1F", 31},
        {"H0X1F", 31},  // the hexadecimal scan takes an optional 0X
        {"001F", 1},    // no prefix: decimal up to the first non-digit
        {"12AB", 12},
        {"12.5", 12},
        {"D12Z", 12},
        {"0D5", 5},
        {"D+7", 7},
        {"D0000000000042", 42},
        {"B1011", 11},
        {"B1021", 9},  // the 2 is a 0 bit
        {"BZ1", 1},
        {"0B101", 5},
        {"B", 0},
        {"D", 0},
        {"H", 0},
        {"HG", 0},
        {"00B", 0},
        {"0", 0},
        {"000", 0},
        {"", 0},
        {"D-5", 0xFFFFFFFBu},
        {"H-1", 0xFFFFFFFFu},
        {"X-10", 0xFFFFFFF0u},
        {"HFFFFFFFF", 0xFFFFFFFFu},
        {"H00000000000000FFFFFFFF", 0xFFFFFFFFu},  // leading zeros never overflow
        {"D4294967295", 0xFFFFFFFFu},
        {"4294967295", 0xFFFFFFFFu},
        {kOneThen32Zeros, 0},  // that 1 stands 32 places from the right
        {"B1" + std::string(31, '0'), 0x80000000u},
        {"B" + std::string(33, '1'), 0xFFFFFFFFu},
        {"B" + std::string(32, '0') + "1", 1},
        {"B1" + std::string(40, '0') + "101", 5},
    };
    for (const Case& c : cases) EXPECT_EQ(parseNumber(*st, c.token.c_str()), c.value) << c.token;
    EXPECT_EQ(st->warningCount, 0);
    EXPECT_EQ(out(), "");
}

TEST_F(Numbers, NoPrefixAndNoDigitWarnsOfMissingHash) {
    EXPECT_EQ(parseNumber(*st, "0ABC"), 0u);
    EXPECT_EQ(out(), "\nWARNING:- Definition for ABC is possibly missing '#' on line 007 in file test.qvs");
    EXPECT_EQ(st->warningCount, 1);

    // Only upper-case B, D, H and X are prefixes.
    for (const char* token : {"-5", "+5", "F0", "C5", "ABC", "E1", "b101", "d5", "x1F", "#X", ".5"})
        EXPECT_EQ(parseNumber(*st, token), 0u) << token;
    EXPECT_EQ(st->warningCount, 12);
    EXPECT_NE(out().find("Definition for -5 is possibly missing '#' on line 007"), std::string::npos);
}

TEST_F(Numbers, SilentModeCountsWithoutText) {
    st->silent = true;
    EXPECT_EQ(parseNumber(*st, "ABC"), 0u);
    EXPECT_EQ(parseNumber(*st, "D4294967296"), 0u);
    EXPECT_EQ(st->warningCount, 2);
    EXPECT_EQ(out(), "");
}

TEST_F(Numbers, BeyondThirtyTwoBitsWarnsAndKeepsLowBits) {
    EXPECT_EQ(parseNumber(*st, "D4294967296"), 0u);
    EXPECT_EQ(out(),
              "\nWARNING:- Number D4294967296 does not fit in 32 bits on line 007 in file test.qvs. "
              "Low 32 bits used.");
    EXPECT_EQ(st->warningCount, 1);

    const Case cases[] = {
        {"H100000000", 0},
        {"H123456789", 0x23456789u},
        {"X1FFFFFFFF", 0xFFFFFFFFu},
        {"D99999999999", 0x4876E7FFu},
        {"D-4294967297", 0xFFFFFFFFu},  // low bits of the magnitude, then the sign
        {"004294967296", 0},
        // Far beyond 64 bits too.
        {"D1234567890123456789012345", 0x3DE2DF79u},
        {"D-1234567890123456789012345", 0xC21D2087u},
        {"H123456789ABCDEF0123", 0xCDEF0123u},
    };
    for (const Case& c : cases) EXPECT_EQ(parseNumber(*st, c.token.c_str()), c.value) << c.token;
    EXPECT_EQ(st->warningCount, 10);
    // The whole token is named, leading zeros included.
    EXPECT_NE(out().find("Number 004294967296 does not fit"), std::string::npos);

    // Binary keeps its own rule and never warns.
    EXPECT_EQ(parseNumber(*st, ("B" + std::string(40, '1')).c_str()), 0xFFFFFFFFu);
    EXPECT_EQ(st->warningCount, 10);
}

TEST_F(Numbers, ReadNumberReportsNothing) {
    const NumberReading name = readNumber("0ABC");
    EXPECT_TRUE(name.missingHash);
    EXPECT_STREQ(name.rest, "ABC");
    EXPECT_EQ(name.value, 0u);

    const NumberReading wide = readNumber("H1FFFFFFFF");
    EXPECT_TRUE(wide.overflow);
    EXPECT_FALSE(wide.missingHash);
    EXPECT_EQ(wide.value, 0xFFFFFFFFu);

    const NumberReading plain = readNumber("D42");
    EXPECT_FALSE(plain.overflow || plain.missingHash);
    EXPECT_EQ(plain.value, 42u);
    EXPECT_FALSE(readNumber("").missingHash);
}

}  // namespace
}  // namespace qvek::test
