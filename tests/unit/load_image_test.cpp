// Reading load files back: both layouts as the writers write them, appended
// content, and a line and a reason for everything that cannot be read.
#include <algorithm>
#include <string>

#include "inspect_support.h"

namespace qvek::test {
namespace {

// Two pattern words and a short program; both segments in both layouts.
constexpr const char* kProgram =
    "PAT #P H12345678\n"
    "PAT H80000000\n"
    "#L LDA 5\n"
    "JMP #L\n";

class LoadFile : public ::testing::Test {
  protected:
    LoadFile() { EXPECT_EQ(assembleBoth(*st, kProgram), 0); }

    std::string file(OutputFormat layout) { return loadFileOf(*st, layout); }

    // Reads text that must fail; returns "line: reason".
    std::string fault(const std::string& text) {
        EXPECT_EQ(readText(text, *image), -1) << text;
        return std::to_string(image->errorLine) + ": " + image->error;
    }

    std::unique_ptr<AsmState> st = std::make_unique<AsmState>();
    std::unique_ptr<LoadImage> image = std::make_unique<LoadImage>();
};

// Replaces the first occurrence of from.
std::string edited(std::string text, const std::string& from, const std::string& to) {
    const size_t at = text.find(from);
    EXPECT_NE(at, std::string::npos) << from;
    return at == std::string::npos ? text : text.replace(at, from.size(), to);
}

TEST_F(LoadFile, ReadsBothLayoutsAsWritten) {
    for (OutputFormat layout : {ConfigToolFormat, DebugHwFormat}) {
        ASSERT_EQ(readText(file(layout), *image), 0) << image->error;
        EXPECT_EQ(image->layout, layout);
        for (const SegmentHeader* h : {&image->pattern, &image->program}) {
            EXPECT_TRUE(h->present);
            EXPECT_STREQ(h->sourceName, kSource);
            EXPECT_STREQ(h->timeStamp, kStamp);
            EXPECT_STREQ(h->generator, "QIRV TOLVARE ASSEMBLER Version 5.0");
        }
        // The configuration tool writes whole rows of 4 slots and 8 words.
        EXPECT_EQ(image->patternSlots, layout == DebugHwFormat ? 2u : 4u);
        EXPECT_EQ(image->programWords, layout == DebugHwFormat ? 3u : 8u);
        EXPECT_EQ(image->patternValues[0], 0x12345678u);
        EXPECT_EQ(image->patternValues[1], 0x80000000u);
        for (uint32_t a = 0; a < 4 * image->programWords; a++) EXPECT_EQ(image->programImage[a], st->programImage[a]);
        EXPECT_FALSE(image->appended);
    }
}

TEST_F(LoadFile, ToleratesCarriageReturnsUpperCaseAndOddNames) {
    std::string text;
    for (char c : file(ConfigToolFormat)) {
        if (c == '\n') text += '\r';
        text += c;
    }
    text = edited(text, "0x5678", "0X5678");
    text = edited(text, "source file test.qvs on", "source file my run on friday.qvs on");
    ASSERT_EQ(readText(text, *image), 0) << image->error;
    EXPECT_EQ(image->patternValues[0], 0x12345678u);
    EXPECT_STREQ(image->pattern.sourceName, "my run on friday.qvs");
    EXPECT_STREQ(image->pattern.timeStamp, kStamp);
    EXPECT_FALSE(image->appended);
}

TEST_F(LoadFile, FindsAppendedContent) {
    struct Case {
        OutputFormat layout;
        const char* program;
        std::string appended;
    };
    const std::string row = "0x0000 0x0000 0x0000 0x0000 0x0000 0x0000 0x0000 ";
    const Case cases[] = {
        {ConfigToolFormat, kProgram, "any text\n"},
        {ConfigToolFormat, kProgram, "##\n## another load file\n"},
        {DebugHwFormat, kProgram, "0x0001  0x4003  0x0000\n"},  // after the end line nothing is the image
        {DebugHwFormat, "PAT 7\n", "text\n"},                   // no program segment: no end line either
        {DebugHwFormat, "PAT 7\n", "#\n# COMMENT - PATTERN SEGMENT IMAGE\n"},
        {DebugHwFormat, "PAT 7\n", "#\n"},
        {ConfigToolFormat, "ORG PGM 4092\n", "0x0000 0x0000 0x0000 0x0000 0x0000 0x0000 0x0000 0x0000\n"},
        // After the first row (slot) whatever is no whole row (slot) is appended, though it begins like one.
        {ConfigToolFormat, kProgram, "0x12 hello\n"},
        {ConfigToolFormat, kProgram, row.substr(0, 18)},
        {ConfigToolFormat, kProgram, row + "0xg000\n"},
        {ConfigToolFormat, kProgram, "0x" + std::string(10000, 'f') + "\n"},
        {DebugHwFormat, "PAT 7\n", "0x0001  0x1002  0x1234\n"},
        {DebugHwFormat, "PAT 7\n", "0x0001  0x1002  0x1234\ntext\n"},
        {DebugHwFormat, "PAT 7\n", "0x0001  0x1002  0x1234\n#\n"},
        {DebugHwFormat, "PAT 7\n", "0x0001  0x1007  0x1234\n"},
        {DebugHwFormat, "PAT 7\n", "0x" + std::string(10000, 'f')},
    };
    for (const Case& c : cases) {
        auto state = std::make_unique<AsmState>();
        ASSERT_EQ(assembleBoth(*state, c.program), 0);
        const std::string images = loadFileOf(*state, c.layout);
        ASSERT_EQ(readText(images + c.appended, *image), 0) << image->error;
        EXPECT_TRUE(image->appended) << c.appended;
        EXPECT_EQ(image->appendedOffset, images.size()) << c.appended;
        EXPECT_EQ(image->appendedSize, c.appended.size()) << c.appended;
        EXPECT_EQ(image->appendedLine, static_cast<uint32_t>(std::count(images.begin(), images.end(), '\n') + 1));
        // The appended content is not part of the images.
        LoadImage alone;
        ASSERT_EQ(readText(images, alone), 0);
        EXPECT_EQ(image->programWords, alone.programWords);
        EXPECT_EQ(image->patternSlots, alone.patternSlots);
    }
}

TEST_F(LoadFile, ReportsWhatItCannotRead) {
    const std::string tool = file(ConfigToolFormat);
    const std::string hw = file(DebugHwFormat);
    const std::string patternsOnly = tool.substr(0, tool.find("##\n## SEQUENCER PROGRAM"));
    const std::string programRow = "0x9054 0x0000 0x0000 0x0000 0x0000 0x0000 0x0000 0x0000 ";
    struct Case {
        std::string text;
        const char* expected;
    };
    const Case cases[] = {
        {"", "0: Empty file, without a header"},
        {"0x0001 0x0002\n", "1: No load-file header"},
        {"##\nhello\n", "2: Expected '## SEQUENCER PATTERN MEMORY SEGMENT' or"},
        {edited(tool, "0x9054", "0x9g54"), "16: Bad hexadecimal digit 'g' in field 1 '0x9g54'"},
        {edited(tool, "0x9054", "0x9\a54"), "16: Bad hexadecimal digit (byte 0x07) in field 1"},
        {edited(tool, programRow, "0x9054 0x0000 0x00"), "16: Program row of 3 fields instead of 8"},
        {edited(tool, programRow, programRow + "0x0000"), "16: Program row of 9 fields instead of 8"},
        {edited(tool, "0x5678 0x1234", "0x5678"), "8: Pattern row of 7 fields instead of 8"},
        {edited(tool, "0x9054", "0x054"), "16: Field 1 '0x054' has 3 hexadecimal digits instead of 4"},
        {edited(tool, "0x9054 0x0000", "0x9054 0000"), "16: Field 2 '0000' does not begin with 0x"},
        {edited(tool, "0x5678", "5678"), "8: Expected a pattern row or the program segment header '##'"},
        {edited(tool, "## (CHECK", "## (CHEQUE"), "3: Expected '## (CHECK THE ADDRESS REFERENCE !!)' in the pattern"},
        {edited(tool, " on 05-Mar", " at 05-Mar"), "4: No ' on ' before the time stamp in the pattern segment"},
        {edited(tool, "addr=ztkSeqPgmMem", "addr=ztkSeqPatMem"), "15: Expected 'addr=ztkSeqPgmMem' closing the prog"},
        {tool.substr(0, tool.find("## (CHECK")), "2: End of file inside the pattern segment header"},
        {patternsOnly, "8: End of file after the pattern rows: the program segment is missing"},
        {edited(hw, "0x0001  0x4001  0x0000", "0x0001  0x4001"), "16: Data line of 2 fields instead of 3"},
        {edited(hw, "0x0001  0x4001", "0x0002  0x4001"), "16: First field 0x0002 instead of 0x0001"},
        {edited(hw, "0x4001", "0x4002"), "16: Address 0x4002 out of order (0x4001 expected)"},
        {edited(hw, "0x1001", "0x1002"), "7: Address 0x1002 out of order (0x1001 expected)"},
        {hw.substr(0, hw.find("0x0001  0x4002")), "16: End of file inside the program segment: '# END OF"},
        {edited(hw, "0x0001  0x1003  0x8000\n", ""), "9: Pattern slot at host address 0x0002 lacks its high half"},
        {edited(hw, "0x0001  0x1001  0x1234\n", "text\n"), "7: Pattern slot at host address 0x0000 lacks its high"},
        {std::string(10000, '#'), "1: Line longer than 4352 characters"},
        {edited(hw, "# END OF PROGRAM SEGMENT", "# END OF PROGRAM"), "18: Expected a program line or '# END OF"},
        {edited(hw, "#\n# COMMENT - PATTERN", "#\n# COMMENT - PATTERNS"), "2: Expected '# COMMENT - PATTERN SEGMENT"},
        {"#\n# COMMENT - PROGRAM SEGMENT IMAGE\n# This file generated from " + std::string(5000, 'x') + "\n",
         "3: Line longer than"},
        {edited(tool, "## This file generated", "## This file made"),
         "4: Expected '## This file generated from source file ...' in the pattern segment header"},
        {edited(tool, "from source file test.qvs", "from source file " + std::string(4097, 'n')),
         "4: Source name longer than 4096 characters"},
        {edited(tool, "## via QIRV", "## by QIRV"), "5: Expected '## via ...' in the pattern segment header"},
        {edited(tool, "## (CHECK THE ADDRESS REFERENCE !!)", "## (CHECK THE ADDRESS REFERENCE !!) now"),
         "3: Expected '## (CHECK THE ADDRESS REFERENCE !!)' in the pattern segment header"},
        {edited(tool, "## SEQUENCER PROGRAM MEMORY SEGMENT", "## SEQUENCER PATTERN MEMORY SEGMENT"),
         "10: Expected '## SEQUENCER PROGRAM MEMORY SEGMENT' after the pattern rows"},
        {edited(hw, "0x0001  0x4001", "0x0001  0x40g1"), "16: Bad hexadecimal digit 'g' in field 2 '0x40g1'"},
    };
    for (const Case& c : cases) EXPECT_EQ(fault(c.text).rfind(c.expected, 0), 0u) << fault(c.text);
}

TEST_F(LoadFile, RefusesMoreThanTheMemoriesHold) {
    // Both memories full: the last pattern slot and the last program nibble in use.
    std::string source = "ORG PGM HFFE\nRET\n";
    for (uint32_t k = 0; k < kPatternSlots; k++) source += "PAT 1\n";
    auto full = std::make_unique<AsmState>();
    ASSERT_EQ(assembleBoth(*full, source), 0);
    const std::string tool = loadFileOf(*full, ConfigToolFormat);
    const std::string hw = loadFileOf(*full, DebugHwFormat);
    ASSERT_EQ(readText(tool, *image), 0) << image->error;
    EXPECT_EQ(image->patternSlots, kPatternSlots);
    EXPECT_EQ(image->programWords, kProgramWords);

    const std::string row = "0x0000 0x0000 0x0000 0x0000 0x0000 0x0000 0x0000 0x0000 \n";
    EXPECT_EQ(fault(edited(tool, "##\n## SEQUENCER PROGRAM", row + "##\n## SEQUENCER PROGRAM")),
              "264: More than 1024 pattern slots");
    EXPECT_EQ(fault(edited(hw, "# END OF PROGRAM", "0x0001  0x4400  0x0000\n# END OF PROGRAM")),
              "3083: More than 1024 program words");
    // Past the last slot the images are over, and the rest is appended content.
    ASSERT_EQ(readText(edited(hw, "#\n# COMMENT - PROGRAM", "0x0001  0x1800  0x0000\n#\n# COMMENT - PROGRAM"), *image),
              0);
    EXPECT_EQ(image->patternSlots, kPatternSlots);
    EXPECT_EQ(image->appendedLine, 2054u);
}

}  // namespace
}  // namespace qvek::test
