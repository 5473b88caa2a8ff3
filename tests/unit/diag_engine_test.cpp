// The check's diagnostics: a table of small sources with every diagnostic each
// gives, and the check against the assembler's own run on random sources.
#include <gtest/gtest.h>

#include <map>
#include <random>
#include <regex>
#include <set>

#include "app/run.h"
#include "core/observer.h"
#include "core/state_memory.h"
#include "diag/engine.h"
#include "test_support.h"

#include <sys/stat.h>

namespace qvek::diag {
namespace {

using namespace std::string_literals;

struct Expected {
    const char* code;
    const char* place;  // FILE:LINE:FIRST-LAST
    const char* fix;    // the first fix-it's replacement, or ""
};

struct Case {
    const char* what;
    std::vector<std::pair<std::string, std::string>> files;  // the first is the main source
    std::vector<Expected> diagnostics;                        // every one, in order
};

std::string placeOf(const Report& r, const Diagnostic& d) {
    return r.files[d.range.file].name + ":" + std::to_string(d.range.line) + ":" +
           std::to_string(d.range.firstColumn) + "-" + std::to_string(d.range.lastColumn);
}

Report checkFiles(const Case& c, const CheckOptions& options = {}) {
    for (const auto& [name, text] : c.files) std::ofstream(name, std::ios::binary) << text;
    return check(c.files.front().first.c_str(), options);
}

const Case kCases[] = {
    {"an unknown word and the nearest statement word",
     {{"m.qvs", "DEF #D 1\n ldaa #D\n LDA #D\n"}},
     {{"Q2001", "m.qvs:2:2-5", ""}, {"Q4001", "m.qvs:2:2-5", "lda"}}},
    {"every undefined jump label in one run, the nearest label offered",
     {{"m.qvs", "#LOOP NOP\n CAL #LOPP\n JMP #ELSE  * far\n JMP #LOOP\n"}},
     {{"Q1001", "m.qvs:2:6-10", ""}, {"Q4002", "m.qvs:2:6-10", "#LOOP"}, {"Q1001", "m.qvs:3:6-10", ""}}},
    {"an include missing only by case, and no cascade after it",
     {{"m.qvs", " INC defs.inc\n LDA #X\n"}, {"defs.inc", "DEF #X 1\n"}},
     {{"Q1010", "m.qvs:1:6-13", ""}, {"Q4006", "m.qvs:1:6-13", ""}, {"Q4007", "m.qvs:1:6-13", ""}}},
    {"a name without its '#'",
     {{"m.qvs", "DEF #WAIT 5\n LDA wait\n"}},
     {{"Q3003", "m.qvs:1:5-9", ""}, {"Q2003", "m.qvs:2:6-9", ""}, {"Q4005", "m.qvs:2:6-9", "#wait"}}},
    {"a name without its '#' that reads as a number silently",
     {{"m.qvs", "DEF #DELAY 5\n LDA DELAY\n PAT H1G\n"}},
     {{"Q3003", "m.qvs:1:5-10", ""}, {"Q3008", "m.qvs:2:6-10", ""}, {"Q4005", "m.qvs:2:6-10", "#DELAY"},
      {"Q3008", "m.qvs:3:6-8", ""}}},
    {"a value too large for its field",
     {{"m.qvs", "\tLDA 0x1234\n"}},
     {{"Q2005", "m.qvs:1:6-11", ""}}},
    {"a failed statement keeps its room, so later addresses stay",
     {{"m.qvs", " LDA #X\n NOP\n JMP 3\n"}},
     {{"Q1002", "m.qvs:1:6-7", ""}}},
    {"a constant used before its DEF",
     {{"m.qvs", " LDA #K\r\nDEF #K 1\r\n"}},
     {{"Q1002", "m.qvs:1:6-7", ""}, {"Q4004", "m.qvs:1:6-7", ""}, {"Q3003", "m.qvs:2:5-6", ""}}},
    {"a name of another table",
     {{"m.qvs", "DEF #K 1\n#GO LDA #K\n JMP #K\n CAL #GO\n"}},
     {{"Q1001", "m.qvs:3:6-7", ""}, {"Q4003", "m.qvs:3:6-7", ""}}},
    {"nibbles written over after ORG PGM moved back",
     {{"m.qvs", " NOP\n NOP\n ORG PGM 0\n LDA 1\n"}},
     {{"Q3001", "m.qvs:4:2-4", ""}, {"Q3001", "m.qvs:4:2-4", ""}}},
    {"names defined twice or never used",
     {{"m.qvs", "DEF #A 1\nDEF #A 2\n LDA #A\n#L NOP\n PAT #P 5\n"}},
     {{"Q3005", "m.qvs:2:5-6", ""}, {"Q3002", "m.qvs:4:1-2", ""}, {"Q3004", "m.qvs:5:6-7", ""}}},
    {"LPP of an empty slot, a jump into a statement",
     {{"m.qvs", " PAT #P 7\n LPP #P\n LPP 3\n JMP 1\n"}},
     {{"Q3006", "m.qvs:3:6-6", ""}, {"Q3007", "m.qvs:4:6-6", ""}}},
    {"an error in an included file",
     {{"m.qvs", "INC INNER.INC\n"}, {"INNER.INC", " LDA #NOPE\n"}},
     {{"Q1002", "INNER.INC:1:6-10", ""}}},
    {"a file that includes itself stops at the depth, not after every branch",
     {{"m.qvs", "INC A.INC\n"}, {"A.INC", "INC A.INC\nINC A.INC\n"}},
     {{"Q1012", "A.INC:1:5-9", ""}}},
    {"a pattern label at a lower slot hides the earlier one",
     {{"m.qvs", " ORG PAT 8\n PAT #P 1\n ORG PAT 4\n PAT #P 2\n LPP #P\n"}},
     {{"Q3005", "m.qvs:2:6-7", ""}}},
    {"an instruction without its operand, names with control and non-UTF-8 bytes",
     {{"m.qvs", " CAL\nDEF #A\x01 1\n LDA #A\x01\n LDA #B\xff\n"}},
     {{"Q1004", "m.qvs:1:2-4", ""}, {"Q1002", "m.qvs:4:6-8", ""}}},
    {"two letters swapped are one edit",
     {{"m.qvs", " LAD 1\n"}},
     {{"Q2001", "m.qvs:1:2-4", ""}, {"Q4001", "m.qvs:1:2-4", "LDA"}}},
    {"a line too long ends the check",
     {{"m.qvs", " NOP\n" + std::string(130, 'A') + "\n LDA #X\n"}},
     {{"Q1006", "m.qvs:2:0-0", ""}}},
    {"a zero byte ends the check at its column",
     {{"m.qvs", " NOP\n LDA \0 1\n LDA #X\n"s}},
     {{"Q1007", "m.qvs:2:6-6", ""}}},
};

TEST(DiagnosticsTable, EachSourceGivesItsDiagnostics) {
    for (const Case& c : kCases) {
        test::Folder folder;
        const Report r = checkFiles(c);
        std::vector<std::string> got, want;
        for (const Diagnostic& d : r.diagnostics)
            got.push_back(d.code + " " + placeOf(r, d) + " " + (d.fixes.empty() ? "" : d.fixes[0].replacement));
        for (const Expected& e : c.diagnostics) want.push_back(std::string(e.code) + " " + e.place + " " + e.fix);
        EXPECT_EQ(got, want) << c.what;
    }
}

TEST(DiagnosticsTable, WordsIncludeChainSwitchesAndUnreadableSources) {
    test::Folder folder;
    Report r = checkFiles(kCases[5]);
    EXPECT_EQ(r.diagnostics[0].message, "value 0x1234 does not fit the 2-nibble field of `LDA`: 0x34 is kept");
    r = checkFiles({"", {{"m.qvs", "\n INC INNER.INC\n"}, {"INNER.INC", " LDA #NOPE\n"}}, {}});
    ASSERT_EQ(r.files.size(), 2u);
    EXPECT_EQ(r.files[1].includedFrom, 0);
    EXPECT_EQ(r.files[1].includeLine, 2);
    EXPECT_EQ(r.files[1].includeColumn, 6u);
    EXPECT_TRUE(r.assemblerFails);

    CheckOptions options;
    options.switches = {{"unused-label", false}, {"redefined", false}, {"redefined", true}};
    r = checkFiles(kCases[10], options);
    ASSERT_EQ(r.diagnostics.size(), 2u);
    EXPECT_EQ(r.diagnostics[1].code, "Q3004");
    EXPECT_TRUE(r.diagnostics[1].unnecessary);
    EXPECT_EQ(r.errors, 0u);
    options.warningsAsErrors = true;
    r = checkFiles(kCases[10], options);
    EXPECT_EQ(r.errors, 2u);
    EXPECT_FALSE(r.assemblerFails);

    // An include the passes must not read twice, refused in the assembler's own words.
    ASSERT_EQ(mkfifo("PIPE.INC", 0600), 0);
    r = checkFiles({"", {{"m.qvs", "INC pipe.inc\n"}}, {}});
    ASSERT_EQ(r.diagnostics.size(), 1u);
    EXPECT_EQ(r.diagnostics[0].code, "Q1011");
    EXPECT_EQ(r.diagnostics[0].historical,
              "ERROR:- Include file PIPE.INC on line 001 in file m.qvs is a pipe, which cannot be read on both passes !");

    std::filesystem::create_directory("folder.qvs");
    for (const char* name : {"folder.qvs", "absent.qvs", "/dev/zero"}) {
        r = check(name, {});
        ASSERT_EQ(r.diagnostics.size(), 1u) << name;
        EXPECT_EQ(r.diagnostics[0].code, "Q1021") << name;
        EXPECT_EQ(r.diagnostics[0].range.line, 0) << name;
    }
}

// An editor's texts through the opener, and its own observer told every event of the check.
TEST(DiagnosticsTable, TheCallersOpenerAndObserver) {
    struct Editor {
        std::map<std::string, std::string> texts;
        uint32_t statements = 0;
    } editor;
    editor.texts = {{"m.qvs", " INC INNER.INC\n CAL #NOPE\n"}, {"INNER.INC", "#L LDAA 1\n"}};
    CheckOptions options;
    options.opener = [](void* context, const char* name) -> FILE* {
        auto& texts = static_cast<Editor*>(context)->texts;
        const auto text = texts.find(name);
        return text == texts.end() ? nullptr : fmemopen(text->second.data(), text->second.size(), "r");
    };
    options.openerContext = &editor;
    options.next = [](void* context, const AsmState&, const AsmEvent& e) {
        if (e.kind == EventKind::Statement) static_cast<Editor*>(context)->statements++;
    };
    options.nextContext = &editor;
    const Report r = check("m.qvs", options);
    std::vector<std::string> got;
    for (const Diagnostic& d : r.diagnostics) got.push_back(d.code + " " + placeOf(r, d));
    EXPECT_EQ(got, (std::vector<std::string>{"Q2001 INNER.INC:1:4-7", "Q4001 INNER.INC:1:4-7", "Q3002 INNER.INC:1:1-2",
                                             "Q1001 m.qvs:2:6-10"}));
    EXPECT_EQ(editor.statements, 6u);  // three lines, both passes
}

// Random sources of a few lines over a small vocabulary, with includes that may be missing or nest.
std::string randomSource(std::mt19937& rng) {
    static const char* const kWords[] = {"LDA", "LMR", "LPP", "CAL", "JMP", "JCB", "NOP", "RET", "DEF",
                                         "PAT", "ORG", "INC", "LDAA", "XYZ", "DSC", "DEF", "PAT", "INC"};
    static const char* const kOperands[] = {"#A",   "#B",    "#L1",   "#L2",   "#P1",         "#P2",  "0",
                                            "5",    "0x1234", "FFF", "H3FF", "4095",        "PGM",  "PAT",
                                            "A.INC", "B.INC", "OR",  "NOT",  "MISSING.INC", "b.inc", ""};
    static const char* const kLabels[] = {"#L1", "#L2", "#L3", "#P1"};
    std::string text;
    const int lines = std::uniform_int_distribution<int>(1, 12)(rng);
    for (int i = 0; i < lines; i++) {
        const int shape = std::uniform_int_distribution<int>(0, 99)(rng);
        if (shape < 2) text += std::string(81, 'X') + "\n";
        else if (shape < 3) text += " NOP" + std::string(130, ' ') + "X\n";
        else if (shape < 8) text += "* comment\n";
        else if (shape < 12) text += " ORG PGM 0\n";
        if (shape < 12) continue;
        if (shape < 40) text += kLabels[rng() % 4];
        text += std::string(" ") + kWords[rng() % std::size(kWords)];
        const int operands = std::uniform_int_distribution<int>(0, 3)(rng);
        for (int k = 0; k < operands; k++) text += std::string(" ") + kOperands[rng() % std::size(kOperands)];
        text += rng() % 5 == 0 ? "\r\n" : "\n";
    }
    return text;
}

// Every file and line the assembler's messages name.
std::set<std::pair<std::string, int>> placesNamed(const std::string& output) {
    static const std::regex kPlace(R"((?:line|LINE|Line) (\d+) ?(?:in|of) file ([A-Za-z.]+[A-Za-z])|file ([A-Za-z.]+[A-Za-z]) after line (\d+))");
    std::set<std::pair<std::string, int>> places;
    for (auto it = std::sregex_iterator(output.begin(), output.end(), kPlace); it != std::sregex_iterator(); ++it) {
        const std::smatch& m = *it;
        if (m[1].matched) places.insert({m[2].str(), std::stoi(m[1].str())});
        else places.insert({m[3].str(), std::stoi(m[4].str())});
    }
    return places;
}

TEST(DiagnosticsAgreement, ErrorsExactlyWhenTheAssemblerFailsAndAtEveryPlaceItNames) {
    std::mt19937 rng(21);
    test::Folder folder;
    for (int round = 0; round < 300; round++) {
        const std::string files[3] = {randomSource(rng), randomSource(rng), randomSource(rng)};
        std::ofstream("MAIN.QVS", std::ios::binary) << files[0];
        std::ofstream("A.INC", std::ios::binary) << files[1];
        std::ofstream("B.INC", std::ios::binary) << files[2];
        AsmStatePtr st = newAsmState();
        test::Capture console;
        st->console = console.stream();
        const char* const words[] = {"MAIN.QVS", "OUT.UCD"};
        runAssembly(*st, 2, words);
        const std::string output = console.text();
        const Report r = check("MAIN.QVS", {});
        const std::string context = "MAIN.QVS:\n" + files[0] + "A.INC:\n" + files[1] + "B.INC:\n" + files[2] + output;
        ASSERT_EQ(r.assemblerFails, st->errorCount > 0) << context;
        ASSERT_EQ(r.errors > 0, st->errorCount > 0) << context;
        std::set<std::pair<std::string, int>> diagnosed;
        for (const Diagnostic& d : r.diagnostics) diagnosed.insert({r.files[d.range.file].name, d.range.line});
        for (const auto& place : placesNamed(output))
            ASSERT_TRUE(diagnosed.count(place)) << place.first << ":" << place.second << "\n" << context;
    }
}

}  // namespace
}  // namespace qvek::diag
