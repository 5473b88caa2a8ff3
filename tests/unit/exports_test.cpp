// The inspector's other forms of a load image ($readmemh, Intel HEX, the other
// layout) and what it makes of a source: names by silent assembly, the check
// against a load file, and the make rule.
#include "inspect/exports.h"

#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <string>

#include "inspect/source_names.h"
#include "inspect_support.h"

namespace qvek::test {
namespace {

std::unique_ptr<LoadImage> imageOf(const std::string& source, OutputFormat layout) {
    auto st = std::make_unique<AsmState>();
    EXPECT_EQ(assembleBoth(*st, source), 0);
    auto image = std::make_unique<LoadImage>();
    EXPECT_EQ(readText(loadFileOf(*st, layout), *image), 0) << image->error;
    return image;
}

TEST(Exports, IntelHexPutsWordsLowByteFirst) {
    // 9 program words: one full record of 16 bytes and one of 2.
    const auto image = imageOf("PAT H12345678\nPAT HCAFE\nLDA H21\nORG PGM 32\n", DebugHwFormat);
    EXPECT_EQ(written([&](FILE* out) { writeIntelHex(*image, Memory::Program, out); }),
              ":1000000014020000000000000000000000000000DA\n"
              ":020010000000EE\n"
              ":00000001FF\n");
    EXPECT_EQ(written([&](FILE* out) { writeIntelHex(*image, Memory::Pattern, out); }),
              ":0800000078563412FECA00001C\n"
              ":00000001FF\n");
    // Every record sums to zero, modulo 256, over all its bytes.
    const auto big = imageOf("ORG PGM 4092\n", ConfigToolFormat);
    const std::string hex = written([&](FILE* out) { writeIntelHex(*big, Memory::Program, out); });
    EXPECT_EQ(std::count(hex.begin(), hex.end(), '\n'), 2048 / 16 + 1);
    for (size_t at = 0; at < hex.size(); at = hex.find('\n', at) + 1) {
        const std::string record = hex.substr(at + 1, hex.find('\n', at) - at - 1);
        unsigned sum = 0;
        for (size_t i = 0; i < record.size(); i += 2) sum += std::stoul(record.substr(i, 2), nullptr, 16);
        EXPECT_EQ(sum % 256, 0u) << record;
    }
    EXPECT_NE(hex.find(":1007F000"), std::string::npos);  // the last record: bytes 0x7f0 to 0x7ff
}

TEST(Exports, ReadmemhWritesOneWordALine) {
    const auto image = imageOf("PAT H12345678\nLDA H21\n", DebugHwFormat);
    EXPECT_EQ(written([&](FILE* out) { writeReadmemh(*image, Memory::Program, "a.ucd", out); }),
              "// Program memory of a.ucd (source test.qvs): 1 word of 16 bits from word 0\n"
              "0214\n");
    EXPECT_EQ(written([&](FILE* out) { writeReadmemh(*image, Memory::Pattern, "a.ucd", out); }),
              "// Pattern memory of a.ucd (source test.qvs): 1 word of 32 bits from slot 0\n"
              "12345678\n");
}

TEST(Exports, ConvertingKeepsTheHeaderAndWritesWhatTheAssemblerWrites) {
    const std::string source = "PAT H12345678\nPAT 7\nPAT 0\nPAT 0\nPAT 9\n#L LDA H21\nJMP #L\nRET\n";
    auto st = std::make_unique<AsmState>();
    ASSERT_EQ(assembleBoth(*st, source), 0);
    const std::string debugHw = loadFileOf(*st, DebugHwFormat);
    const std::string configTool = loadFileOf(*st, ConfigToolFormat);
    LoadImage image;
    ASSERT_EQ(readText(debugHw, image), 0);
    EXPECT_EQ(written([&](FILE* out) { writeLayout(image, ConfigToolFormat, out); }), configTool);
    EXPECT_EQ(written([&](FILE* out) { writeLayout(image, DebugHwFormat, out); }), debugHw);
    // Whole rows the other way: 8 pattern slots and 8 program words, the padding loaded as zeros.
    ASSERT_EQ(readText(configTool, image), 0);
    const std::string padded = written([&](FILE* out) { writeLayout(image, DebugHwFormat, out); });
    EXPECT_NE(padded.find("0x0001  0x100f  0x0000\n#\n"), std::string::npos);
    EXPECT_NE(padded.find("0x0001  0x4007  0x0000\n# END"), std::string::npos);
    EXPECT_NE(padded.find("from test.qvs on 05-Mar-2024 14:07:09"), std::string::npos);
}

TEST(Exports, FindsWhereASourceDiffersFromALoadFile) {
    auto st = std::make_unique<AsmState>();
    ASSERT_EQ(assembleBoth(*st, "PAT 5\nLDA 3\n"), 0);
    const std::string file = loadFileOf(*st, DebugHwFormat);
    char text[kDifferenceTextSize];
    LoadImage image;
    ASSERT_EQ(readText(file, image), 0);
    EXPECT_FALSE(findDifference(*st, image, text, sizeof text));
    ASSERT_EQ(readText(file.substr(0, file.find("0x0034")) + "0x0035\n# END OF PROGRAM SEGMENT\n", image), 0);
    ASSERT_TRUE(findDifference(*st, image, text, sizeof text));
    EXPECT_STREQ(text, "program nibble 0x000 is 5, the source gives 4");
    ASSERT_EQ(readText(loadFileOf(*st, ConfigToolFormat), image), 0);
    image.layout = DebugHwFormat;  // the rows of the other layout hold more words than this one writes
    ASSERT_TRUE(findDifference(*st, image, text, sizeof text));
    EXPECT_STREQ(text, "the load file holds 4 pattern words, the source gives 1");
}

TEST(Exports, AssemblesSourcesSilentlyAndFollowsTheirIncludes) {
    Folder folder;
    folder.write("main.qvs", "INC SUB/A.INC\nINC B.INC\nINC SUB/A.INC\n#L JMP #L\n");
    std::filesystem::create_directory("SUB");
    folder.write("SUB/A.INC", "DEF #A 1\nINC B.INC\n");
    folder.write("B.INC", "NOP\n");
    folder.write("broken.qvs", "CAL #NOWHERE\n");
    folder.write("wrong.qvs", "LDA #NOTHING\n");

    auto st = std::make_unique<AsmState>();
    auto list = std::make_unique<DependencyList>();
    st->observer = observeIncludes;
    st->observerContext = list.get();
    Capture console;
    st->console = console.stream();
    ASSERT_EQ(assembleSilently(*st, "main.qvs", true), SourceResult::Assembled);
    EXPECT_EQ(console.text(), "");
    EXPECT_EQ(st->programLabels[0].address, 3);  // three NOPs from the includes
    EXPECT_EQ(written([&](FILE* out) { writeMakeRule(out, "main.ucd", "main.qvs", *list); }),
              "main.ucd: main.qvs SUB/A.INC B.INC\nSUB/A.INC:\nB.INC:\n");

    EXPECT_EQ(assembleSilently(*std::make_unique<AsmState>(), "absent.qvs", false), SourceResult::CannotOpen);
    EXPECT_EQ(assembleSilently(*std::make_unique<AsmState>(), "wrong.qvs", false), SourceResult::Pass1Failed);
    EXPECT_EQ(assembleSilently(*std::make_unique<AsmState>(), "broken.qvs", false), SourceResult::Assembled);
    EXPECT_EQ(assembleSilently(*std::make_unique<AsmState>(), "broken.qvs", true), SourceResult::Pass2Failed);
}

TEST(MakeRule, WrapsAndQuotesAsGccDoes) {
    // The names and the breaks of a rule gcc -MD -MP wrote for a file of 12 includes.
    DependencyList list;
    recordInclude(&list, "sys/include/stdc-predef.hh");
    for (int i = 1; i <= 12; i++)
        recordInclude(&list, ("very_long_header_name_number_" + std::to_string(i) + ".h").c_str());
    recordInclude(&list, "very_long_header_name_number_3.h");  // once only
    std::string expected =
        "x.o: x.c sys/include/stdc-predef.hh very_long_header_name_number_1.h \\\n"
        " very_long_header_name_number_2.h very_long_header_name_number_3.h \\\n"
        " very_long_header_name_number_4.h very_long_header_name_number_5.h \\\n"
        " very_long_header_name_number_6.h very_long_header_name_number_7.h \\\n"
        " very_long_header_name_number_8.h very_long_header_name_number_9.h \\\n"
        " very_long_header_name_number_10.h very_long_header_name_number_11.h \\\n"
        " very_long_header_name_number_12.h\n"
        "sys/include/stdc-predef.hh:\n";
    for (int i = 1; i <= 12; i++) expected += "very_long_header_name_number_" + std::to_string(i) + ".h:\n";
    EXPECT_EQ(written([&](FILE* out) { writeMakeRule(out, "x.o", "x.c", list); }), expected);

    DependencyList odd;
    recordInclude(&odd, "#HASH$DOLLAR");
    EXPECT_EQ(written([&](FILE* out) { writeMakeRule(out, "my out.ucd", "dir\\ x\\\\ y.qvs", odd); }),
              "my\\ out.ucd: dir\\\\\\ x\\\\\\\\\\ y.qvs \\#HASH$$DOLLAR\n\\#HASH$$DOLLAR:\n");
}

TEST(MakeRule, KeepsAListOfBoundedSize) {
    auto list = std::make_unique<DependencyList>();
    char name[16];
    for (uint32_t i = 0; i < kMaxDependencies; i++) {
        snprintf(name, sizeof name, "F%u", i);
        recordInclude(list.get(), name);
    }
    EXPECT_FALSE(list->overflow);
    recordInclude(list.get(), "F0");
    EXPECT_FALSE(list->overflow);
    recordInclude(list.get(), "ONE.MORE");
    EXPECT_TRUE(list->overflow);
    EXPECT_EQ(list->count, kMaxDependencies);
}

TEST(MakeRule, DefaultTargetReplacesTheExtension) {
    const std::pair<const char*, const char*> cases[] = {
        {"main.qvs", "main.ucd"},         {"src/main.qvs", "src/main.ucd"}, {"a.b/main", "a.b/main.ucd"},
        {"main.old.qvs", "main.old.ucd"}, {".hidden", ".hidden.ucd"},       {"main", "main.ucd"},
    };
    char target[64];
    for (const auto& [source, expected] : cases) {
        ASSERT_TRUE(defaultTarget(source, target, sizeof target));
        EXPECT_STREQ(target, expected);
    }
    char tiny[8];
    EXPECT_FALSE(defaultTarget("main.qvs", tiny, sizeof tiny));
}

}  // namespace
}  // namespace qvek::test
