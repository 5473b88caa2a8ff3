#include "source/includes.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cstring>
#include <string>

#include "core/observer.h"
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

TEST_F(Includes, ANameIncludedAgainIsCheckedOnceOpened) {
    // A name that was a plain file at its last INC is opened without asking first what it is now.
    // Whatever it has become since is still refused as before, at once: a pipe is not waited on.
    struct Case {
        const char* becomes;
        int result;
        const char* said;
    };
    const Case cases[] = {
        {"pipe", -1, " is a pipe, which cannot be read on both passes !"},
        {"/dev/zero", -1, " is a device, which cannot be read on both passes !"},
        {"/dev/null", 0, ""},
        {"file", 0, ""},
    };
    for (const Case& c : cases) {
        Folder folder;
        folder.write("AGAIN.INC", "NOP\n");
        st = std::make_unique<AsmState>();
        st->console = console.stream();
        copyText(st->includeNames[0], sizeof st->includeNames[0], kSource);
        // When the first reading of AGAIN.INC ends, the name changes into what the case says.
        static const Case* now;
        now = &c;
        st->observer = [](void*, const AsmState&, const AsmEvent& e) {
            if (e.kind != EventKind::FileLeft || std::strcmp(e.file, "AGAIN.INC") != 0) return;
            std::remove("AGAIN.INC");
            const std::string becomes = now->becomes;
            if (becomes == "pipe") ASSERT_EQ(mkfifo("AGAIN.INC", 0600), 0);
            else if (becomes == "file") std::ofstream("AGAIN.INC") << "RET\n";
            else ASSERT_EQ(symlink(now->becomes, "AGAIN.INC"), 0);
        };
        const size_t before = out().size();
        EXPECT_EQ(assemble("INC AGAIN.INC\nINC AGAIN.INC\n"), c.result) << c.becomes;
        const std::string said = c.said[0] == '\0' ? "" : std::string("\nERROR:- Include file AGAIN.INC on line 002 in file ") + kSource + c.said;
        EXPECT_EQ(out().substr(before), said) << c.becomes;
    }
}

}  // namespace
}  // namespace qvek::test
