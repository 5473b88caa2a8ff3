#include "app/options.h"

#include <string>
#include <vector>

#include "test_support.h"

namespace qvek::test {
namespace {

class Options : public StateTest {
  protected:
    int walk(std::vector<const char*> words) {
        return walkCommandLine(*st, static_cast<int>(words.size()), words.data(), names);
    }
    CommandLine names;
};

TEST_F(Options, FewerThanTwoWordsNameNothing) {
    EXPECT_EQ(walk({}), -1);
    EXPECT_EQ(walk({"-d"}), -1);
    EXPECT_EQ(names.sourceName, nullptr);
    EXPECT_FALSE(st->dumpListing);
}

TEST_F(Options, TwoWordsAreNeverOptions) {
    ASSERT_EQ(walk({"-d", "a.asm"}), 0);
    EXPECT_STREQ(names.sourceName, "-d");
    EXPECT_STREQ(names.targetName, "a.asm");
    EXPECT_FALSE(st->dumpListing);
    EXPECT_EQ(st->warningCount, 0);

    ASSERT_EQ(walk({"a.asm", "b.ucd"}), 0);
    EXPECT_STREQ(names.sourceName, "a.asm");
    EXPECT_STREQ(names.targetName, "b.ucd");
    EXPECT_EQ(st->outputFormat, ConfigToolFormat);
    EXPECT_FALSE(st->dumpListing || st->silent);
}

TEST_F(Options, OptionsStopAtTheSourceName) {
    ASSERT_EQ(walk({"-i", "-d", "Dir/A.asm", "B.ucd"}), 0);
    EXPECT_EQ(st->outputFormat, DebugHwFormat);
    EXPECT_TRUE(st->dumpListing);
    EXPECT_STREQ(names.sourceName, "Dir/A.asm");
    EXPECT_STREQ(names.targetName, "B.ucd");

    // Words after the source are names or ignored, never options.
    ASSERT_EQ(walk({"src", "-s", "tgt"}), 0);
    EXPECT_STREQ(names.targetName, "-s");
    ASSERT_EQ(walk({"a.asm", "b.ucd", "-s", "-x"}), 0);
    EXPECT_FALSE(st->silent);
    EXPECT_EQ(st->warningCount, 0);
}

TEST_F(Options, RunningOutOfWords) {
    EXPECT_EQ(walk({"-d", "-s", "-i"}), -1);
    EXPECT_EQ(names.sourceName, nullptr);
    EXPECT_EQ(walk({"-d", "-i", "a.asm"}), -1);
    EXPECT_STREQ(names.sourceName, "a.asm");
    EXPECT_EQ(names.targetName, nullptr);
}

struct Letters {
    std::vector<const char*> options;
    int format;
    bool dump;
    bool silent;
    int warnings;
    const char* append;
};

TEST_F(Options, LettersActInOrder) {
    const Letters cases[] = {
        {{"-d", "-p", "-i"}, DebugHwFormat, true, false, 0, ""},
        {{"-dpi"}, DebugHwFormat, true, false, 0, ""},
        {{"-ip"}, ConfigToolFormat, false, false, 0, ""},
        {{"-sd"}, ConfigToolFormat, true, true, 0, ""},
        {{"-ds"}, ConfigToolFormat, false, true, 0, ""},
        {{"-x"}, ConfigToolFormat, false, false, 1, ""},
        {{"-x", "-s"}, ConfigToolFormat, false, true, 1, ""},
        {{"-s", "-x"}, ConfigToolFormat, false, true, 0, ""},
        {{"-xsx"}, ConfigToolFormat, false, true, 1, ""},
        {{"-X", "-D", "-I"}, ConfigToolFormat, false, false, 3, ""},
        {{"--"}, ConfigToolFormat, false, false, 1, ""},
        {{"-"}, ConfigToolFormat, false, false, 0, ""},
        {{"-adx"}, ConfigToolFormat, false, false, 0, "dx"},
        {{"-afirst.ucd", "-a"}, ConfigToolFormat, false, false, 0, ""},
        {{"-ifoo", "-dasecond.ucd", "-p"}, ConfigToolFormat, true, false, 3, "second.ucd"},
    };
    for (const Letters& c : cases) {
        auto fresh = std::make_unique<AsmState>();
        fresh->console = st->console;
        std::vector<const char*> words = c.options;
        words.push_back("a.asm");
        words.push_back("b.ucd");
        std::string shown;
        for (const char* w : c.options) shown += std::string(w) + " ";
        ASSERT_EQ(walkCommandLine(*fresh, static_cast<int>(words.size()), words.data(), names), 0) << shown;
        EXPECT_EQ(fresh->outputFormat, c.format) << shown;
        EXPECT_EQ(fresh->dumpListing, c.dump) << shown;
        EXPECT_EQ(fresh->silent, c.silent) << shown;
        EXPECT_EQ(fresh->warningCount, c.warnings) << shown;
        EXPECT_STREQ(fresh->appendFileName, c.append) << shown;
        EXPECT_STREQ(names.sourceName, "a.asm") << shown;
    }
    // Unknown letters are counted, never named.
    EXPECT_EQ(out(), "");
}

TEST_F(Options, AppendNamesAreKeptWhole) {
    const std::string name(300, 'n');
    parseOption(*st, ("-a" + name).c_str());
    EXPECT_EQ(st->appendFileName, name);
    EXPECT_FALSE(st->appendNameTooLong);

    const std::string longest(kMaxPathLength, 'm');
    parseOption(*st, ("-a" + longest).c_str());
    EXPECT_EQ(st->appendFileName, longest);
    EXPECT_FALSE(st->appendNameTooLong);

    parseOption(*st, ("-a" + longest + "m").c_str());
    EXPECT_TRUE(st->appendNameTooLong);
    // A later name replaces it.
    parseOption(*st, "-ashort.ucd");
    EXPECT_STREQ(st->appendFileName, "short.ucd");
    EXPECT_FALSE(st->appendNameTooLong);

    parseOption(*st, "ad");  // not an option word
    EXPECT_STREQ(st->appendFileName, "short.ucd");
    EXPECT_FALSE(st->dumpListing);
}

}  // namespace
}  // namespace qvek::test
