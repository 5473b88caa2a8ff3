#include "source/reader.h"

#include <memory>
#include <string>
#include <vector>

#include "test_support.h"

namespace qvek::test {
namespace {

using Lines = std::vector<std::string>;

class Reader : public StateTest {
  protected:
    // Every delivered line as "NNN text", NNN being currentLine after it; last is the final result.
    Lines read(const std::string& text) {
        FILE* stream = streamOf(text);
        Lines lines;
        // Exactly the documented capacity, so a sanitizer sees any write past it.
        std::unique_ptr<char[]> line(new char[kLineBufferSize]);
        while ((last = readSourceLine(*st, line.get(), stream)) == LineRead) {
            char number[16];
            std::snprintf(number, sizeof number, "%3.3d ", st->currentLine);
            lines.push_back(number + std::string(line.get()));
        }
        std::fclose(stream);
        return lines;
    }

    ReadResult last = LineRead;
};

TEST_F(Reader, NormalisesBlanksCaseAndComments) {
    EXPECT_EQ(
        read("   lda   #VAL      * load\n"
             "#loop\tjcb #loop 1\n"
             "NOP*comment\n"
             "NOP *\n"
             "LDA 5 * #X * and more\n"
             "lda \t  \t 5 \t\n"
             "a\tb\n"),
        (Lines{"001 LDA #VAL", "002 #LOOP JCB #LOOP 1", "003 NOP", "004 NOP", "005 LDA 5", "006 LDA 5", "007 A B"}));
    EXPECT_EQ(last, EndOfFile);
}

TEST_F(Reader, CountsEmptyAndCommentLines) {
    EXPECT_EQ(read("\n* comment only\n   \n\t\nNOP\n\n*\nRET\n"), (Lines{"005 NOP", "008 RET"}));
    EXPECT_EQ(last, EndOfFile);
    EXPECT_EQ(st->currentLine, 8);
}

TEST_F(Reader, DropsCarriageReturnsAndFormFeeds) {
    EXPECT_EQ(read("NOP\r\nLD\rA 5\r\n\f\r\n\fRET\f\n"), (Lines{"001 NOP", "002 LDA 5", "004 RET"}));
}

TEST_F(Reader, PassesHighBytesThrough) {
    EXPECT_EQ(read("\xff"
                   "a{z}~\x80\xe9\n"),
              (Lines{"001 \xff"
                     "A{Z}~\x80\xe9"}));
    EXPECT_EQ(last, EndOfFile);
}

TEST_F(Reader, RefusesAZeroByteOutsideComments) {
    using namespace std::string_literals;
    // In a comment it is dropped with the comment; in a statement it would cut the line short.
    EXPECT_EQ(read("NOP * a \0 in a comment\n\nLDA\0 5\nRET\n"s), (Lines{"001 NOP"}));
    EXPECT_EQ(last, ZeroByte);
    EXPECT_EQ(st->currentLine, 3);
    st->currentLine = 0;
    EXPECT_EQ(read("\0"s), Lines{});
    EXPECT_EQ(last, ZeroByte);
    EXPECT_EQ(st->currentLine, 1);
}

TEST_F(Reader, DeliversALastLineWithoutLineFeed) {
    EXPECT_EQ(read("NOP\n\n\nlda 5 * done"), (Lines{"001 NOP", "004 LDA 5"}));
    EXPECT_EQ(last, EndOfFile);
    EXPECT_EQ(st->currentLine, 4);
    EXPECT_EQ(read("RET"), (Lines{"005 RET"}));
    // A final comment or blanks without line feed deliver nothing.
    EXPECT_EQ(read("NOP\n* end"), (Lines{"006 NOP"}));
    EXPECT_EQ(read("   "), Lines{});
    EXPECT_EQ(read(""), Lines{});
    EXPECT_EQ(last, EndOfFile);
}

TEST_F(Reader, HoldsAtMost120Characters) {
    const std::string full(120, 'A');
    EXPECT_EQ(read(full + "\n" + full + "   \n" + full + " * a comment\n" + full),
              (Lines{"001 " + full, "002 " + full, "003 " + full, "004 " + full}));
    // Blanks count once they are collapsed.
    const std::string halves = std::string(60, 'A') + "  \t  " + std::string(59, 'B');
    EXPECT_EQ(read(halves + "\n"), (Lines{"005 " + std::string(60, 'A') + " " + std::string(59, 'B')}));
    EXPECT_EQ(last, EndOfFile);
}

TEST_F(Reader, RefusesTheLineBeyond120) {
    EXPECT_EQ(read("NOP\n\n" + std::string(121, 'A') + "\nNOP\n"), (Lines{"001 NOP"}));
    EXPECT_EQ(last, LineTooLong);
    EXPECT_EQ(st->currentLine, 3);

    st->currentLine = 0;
    EXPECT_EQ(read(std::string(60, 'A') + "  " + std::string(60, 'B')), Lines{});
    EXPECT_EQ(last, LineTooLong);
    EXPECT_EQ(st->currentLine, 1);
    // The reader itself reports nothing.
    EXPECT_EQ(st->errorCount + st->warningCount, 0);
    EXPECT_EQ(out(), "");
}

TEST_F(Reader, RefusesTheLinePastTheLargestCount) {
    // Empty lines, comment lines and a last line without line feed all count.
    // A long rest is taken a chunk at a time, a short one a byte at a time.
    const std::string longRest = std::string(40, '\n') + "* done, and at some length\n   RET   \n";
    for (const std::string& rest : {std::string("\n\nRET\n"), std::string("* done\nRET"), std::string("RET"), longRest}) {
        st->currentLine = kMaxLineCount - 1;
        EXPECT_EQ(read(std::string("NOP\n") + rest), (Lines{"2147483647 NOP"})) << rest;
        EXPECT_EQ(last, TooManyLines) << rest;
        EXPECT_EQ(st->currentLine, kMaxLineCount) << rest;
    }
    // The pass that meets it reports it once and ends.
    st->currentLine = kMaxLineCount;
    EXPECT_EQ(runPass1(*st, streamOf("NOP\n")), -1);
    EXPECT_EQ(st->errorCount, 1);
    EXPECT_EQ(out(),
              "\nERROR:- Line 2147483647 in file test.qvs is the last a line number can count, and the file goes on. "
              "Assembly stopped.");
}

TEST_F(Reader, TellsAReadErrorFromTheEnd) {
    FILE* directory = std::fopen(".", "r");
    ASSERT_NE(directory, nullptr);
    char line[kLineBufferSize];
    EXPECT_EQ(readSourceLine(*st, line, directory), ReadFailed);
    std::fclose(directory);
}

}  // namespace
}  // namespace qvek::test
