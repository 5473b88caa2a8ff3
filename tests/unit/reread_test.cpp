// Pass 2 over a source that no longer reads as it did in pass 1: a file edited
// between the passes, or a device. Nothing may be written outside the image,
// and no changed reading may pass for the one pass 1 assembled.
#include <cstdio>
#include <string>

#include "passes/pass2.h"
#include "test_support.h"

namespace qvek::test {
namespace {

class Reread : public StateTest {
  protected:
    // Pass 1 over first, then pass 2 over second, as the run starts them.
    int bothPasses(const std::string& first, const std::string& second) {
        if (assemble(first) < 0) return -1;
        st->programCounter = 0;
        st->currentLine = 0;
        return runPass2(*st, streamOf(second));
    }
};

const char* const kReadDifferently =
    "\nERROR:- Source file test.qvs, or a file it includes, read differently on pass 2 than on pass 1. "
    "Nothing written !";

TEST_F(Reread, StopsAtTheEndOfProgramMemory) {
    // Pass 1 saw one NOP; pass 2 reads code that runs off the end of memory.
    EXPECT_EQ(bothPasses("NOP\n", "ORG PGM 4095\nJMP HFFF\nCAL HFFF\n"), -1);
    EXPECT_EQ(out(),
              "\nERROR:- Program address beyond program memory on line 002 in file test.qvs on pass 2. "
              "Did the source change?");
    EXPECT_EQ(st->errorCount, 1);
    // The JMP at 4095 filled its target in the image's tail, and nothing lies beyond it.
    EXPECT_EQ(nibbles(4095, 5), "0FFF0");
    EXPECT_EQ(st->savedLines[0], 0);
    EXPECT_EQ(st->programHighWater, 4095u);  // from the ORG line, the last that completed
}

TEST_F(Reread, RefusesOtherLinesWithinBounds) {
    const std::string source = "#A NOP\nCAL #A\n";
    // A line more, a changed operand, a line less: each would fill in targets for other code.
    for (const char* changed : {"#A NOP\nNOP\nCAL #A\n", "#A NOP\nCAL 5\n", "#A NOP\n", ""}) {
        st = std::make_unique<AsmState>();
        st->console = console.stream();
        copyText(st->includeNames[0], sizeof st->includeNames[0], kSource);
        const size_t before = out().size();
        EXPECT_EQ(bothPasses(source, changed), -1) << changed;
        EXPECT_EQ(out().substr(before), kReadDifferently) << changed;
        EXPECT_EQ(st->errorCount, 1);
    }
}

TEST_F(Reread, AcceptsChangesThatDeliverTheSameLines) {
    // Comments, blank lines, blanks and case are gone before the lines are compared.
    EXPECT_EQ(bothPasses("#A NOP\nCAL #A\n", "* added\n#a   nop\n\n  cal #A   * a comment\n"), 0);
    EXPECT_EQ(out(), "");
    EXPECT_EQ(nibbles(0, 5), "07000");
}

TEST_F(Reread, CoversIncludedFiles) {
    const char* name = "REREAD_TEST.INC";
    const auto write = [&](const char* text) {
        FILE* f = std::fopen(name, "w");
        ASSERT_NE(f, nullptr);
        std::fputs(text, f);
        std::fclose(f);
    };
    write("NOP\n");
    ASSERT_EQ(assemble("INC REREAD_TEST.INC\nRET\n"), 0);
    write("LDA 1\n");
    st->programCounter = 0;
    st->currentLine = 0;
    EXPECT_EQ(runPass2(*st, streamOf("INC REREAD_TEST.INC\nRET\n")), -1);
    std::remove(name);
    EXPECT_EQ(out(), kReadDifferently);
}

}  // namespace
}  // namespace qvek::test
