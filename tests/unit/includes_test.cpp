#include "source/includes.h"

#include <cstring>
#include <string>

#include "test_support.h"

namespace qvek::test {
namespace {

using Includes = StateTest;

std::string nameOf(int level) { return "LEVEL" + std::to_string(level) + ".INC"; }

TEST_F(Includes, FifteenLevelsThenRefusal) {
    // File level-1 had reached line 100 + level when it included file level.
    for (int level = 1; level <= 15; level++) {
        st->currentLine = 100 + level;
        ASSERT_EQ(pushInclude(*st, nameOf(level).c_str()), level);
        EXPECT_EQ(st->currentLine, 0);
        EXPECT_STREQ(st->includeNames[0], nameOf(level).c_str());
    }
    EXPECT_STREQ(st->includeNames[15], kSource);

    st->currentLine = 33;
    auto before = std::make_unique<AsmState>(*st);
    EXPECT_EQ(pushInclude(*st, "SIXTEEN.INC"), -1);
    EXPECT_EQ(st->includeDepth, 15u);
    EXPECT_EQ(st->currentLine, 33);
    EXPECT_EQ(std::memcmp(st->includeNames, before->includeNames, sizeof st->includeNames), 0);
    EXPECT_EQ(std::memcmp(st->savedLines, before->savedLines, sizeof st->savedLines), 0);

    for (int level = 14; level >= 0; level--) {
        ASSERT_EQ(popInclude(*st), level);
        EXPECT_EQ(st->currentLine, 100 + level + 1);
        EXPECT_STREQ(st->includeNames[0], level == 0 ? kSource : nameOf(level).c_str());
    }
    // Leaving the main source is refused and changes nothing.
    st->currentLine = 9;
    EXPECT_EQ(popInclude(*st), -1);
    EXPECT_EQ(st->includeDepth, 0u);
    EXPECT_EQ(st->currentLine, 9);
    EXPECT_STREQ(st->includeNames[0], kSource);
}

TEST_F(Includes, LongNamesAreKeptWhole) {
    const std::string path = "/" + std::string(299, 'P');
    ASSERT_EQ(pushInclude(*st, path.c_str()), 1);
    ASSERT_EQ(pushInclude(*st, "B.INC"), 2);
    EXPECT_EQ(popInclude(*st), 1);
    EXPECT_EQ(st->includeNames[0], path);
    EXPECT_EQ(popInclude(*st), 0);
    EXPECT_STREQ(st->includeNames[0], kSource);
}

}  // namespace
}  // namespace qvek::test
