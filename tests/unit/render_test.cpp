// The check's writers on reports made by hand: the text as compilers write it,
// and the JSON and SARIF read back by a parser, whatever bytes the names hold.
#include "diag/render.h"

#include <gtest/gtest.h>

#include <nlohmann/json.hpp>
#include <cstdio>
#include <random>
#include <string>
#include <vector>

#include "diag/engine.h"

namespace qvek::diag {
namespace {

using nlohmann::json;

// main.qvs reads DEFS.INC at line 2; an error in DEFS.INC with a fix and a note
// back in main.qvs, then a warning in main.qvs about a name holding odd bytes.
Report sample() {
    Report r;
    r.files.push_back({"main.qvs", {"* main", "INC defs.inc", "\tLDA #A\x01\xff"}, -1, 0, 0});
    r.files.push_back({"DEFS.INC", {"\tLDAA 3"}, 0, 2, 5});
    Diagnostic e;
    e.code = codeTable().front().code;
    e.message = "unknown statement word LDAA; did you mean LDA?";
    e.historical = "WARNING:- Undefined SYNTAX ERROR: at LINE 001 in file DEFS.INC";
    e.range = {1, 1, 2, 5};
    e.fixes.push_back({{1, 1, 2, 5}, "LDA"});
    e.related.push_back({{0, 1, 1, 6}, "the nearest word"});
    r.diagnostics.push_back(e);
    Diagnostic w;
    w.level = Level::Warning;
    w.code = "Q9999";
    w.name = "unused-label";
    w.message = "#A\x01\xff is never used";
    w.range = {0, 3, 6, 9};
    w.unnecessary = true;
    r.diagnostics.push_back(w);
    r.errors = r.warnings = 1;
    return r;
}

TEST(RenderText, WritesPlaceCaretFixNotesAndIncludeChain) {
    const std::string expected =
        "In file included from main.qvs:2:5:\n"
        "DEFS.INC:1:2: error: unknown statement word LDAA; did you mean LDA? [" +
        std::string(codeTable().front().code) +
        "]\n"
        "    1 |         LDAA 3\n"
        "      |         ^~~~\n"
        "      |         LDA\n"
        "main.qvs:1:1: note: the nearest word\n"
        "    1 | * main\n"
        "      | ^~~~~~\n"
        "main.qvs:3:6: warning: #A<U+0001><FF> is never used [Q9999 -Wunused-label]\n"
        "    3 |         LDA #A<U+0001><FF>\n"
        "      |             ^~~~~~~~~~~~~~\n";
    EXPECT_EQ(renderText(sample(), false), expected);
    const std::string coloured = renderText(sample(), true);
    EXPECT_NE(coloured.find("\033[1;31merror:"), std::string::npos);
    EXPECT_NE(coloured.find("\033[1;35mwarning:"), std::string::npos);
}

// A stream is given the text a piece at a time: it must get the very bytes
// renderText returns, over lines of any bytes (odd ones at every place of the
// eight-byte windows plain lines are told by), and a line longer than a piece.
TEST(RenderText, StreamGetsTheBytesOfTheString) {
    const char* plain[] = {"LDA ", "#A", " ", "~", "ORG PGM 7 "};
    const char* odd[] = {"\t", "\x01", "\x1f", "\x7f", "\x80", "\xc3\xa9", "\xff"};
    std::mt19937 random(8);
    std::vector<std::string> lines(600);
    for (std::string& line : lines) {
        for (int n = random() % 16; n > 0; n--) line += plain[random() % std::size(plain)];
        if (random() % 4 != 0) line.insert(random() % (line.size() + 1), odd[random() % std::size(odd)]);
    }
    lines.push_back(std::string(100000, 'A'));
    Report r = sample();
    for (const std::string& line : lines) r.files[0].lines.push_back(line);
    for (uint32_t i = 0; i < lines.size(); i++) {
        Diagnostic d = r.diagnostics[i % 2];
        const uint32_t first = 1 + random() % (lines[i].size() + 1);
        d.range = {0, static_cast<int32_t>(4 + i), first, first + static_cast<uint32_t>(random() % 6)};
        if (i % 3 == 0) d.fixes = {{d.range, i % 2 ? "#B" : ""}};
        r.diagnostics.push_back(d);
    }
    for (const bool colour : {false, true}) {
        const std::string expected = renderText(r, colour);
        ASSERT_GT(expected.size(), 200000u);
        FILE* stream = std::tmpfile();
        ASSERT_NE(stream, nullptr);
        writeText(r, colour, stream);
        std::string written(expected.size() + 1, '\0');
        std::rewind(stream);
        written.resize(std::fread(written.data(), 1, written.size(), stream));
        std::fclose(stream);
        EXPECT_EQ(written, expected) << colour;
        for (const char c : expected)
            ASSERT_FALSE((static_cast<unsigned char>(c) < 0x20 && c != '\n' && c != '\t' && !(colour && c == '\033')) ||
                         c == '\x7f' || c == '\x80' || c == '\xff');
    }
}

TEST(RenderJson, ReadsBackWithEveryField) {
    const json doc = json::parse(renderJson(sample()));
    EXPECT_EQ(doc["version"], kReportJsonVersion);
    EXPECT_EQ(doc["files"][1]["includedFrom"], json({{"file", "main.qvs"}, {"line", 2}, {"column", 5}}));
    const json& e = doc["diagnostics"][0];
    EXPECT_EQ(e["level"], "error");
    EXPECT_EQ(e["range"], json({{"file", "DEFS.INC"}, {"line", 1}, {"column", 2}, {"lastColumn", 5}}));
    EXPECT_EQ(e["fixes"][0]["replacement"], "LDA");
    EXPECT_EQ(e["related"][0]["range"]["file"], "main.qvs");
    EXPECT_EQ(e["historical"], "WARNING:- Undefined SYNTAX ERROR: at LINE 001 in file DEFS.INC");
    // A control byte is escaped, a byte that is no UTF-8 read as the character of its number.
    EXPECT_EQ(doc["diagnostics"][1]["message"], "#A\x01\xc3\xbf is never used");
    EXPECT_EQ(doc["diagnostics"][1]["name"], "unused-label");
    EXPECT_TRUE(doc["diagnostics"][1]["unnecessary"].get<bool>());
}

TEST(RenderSarif, GivesRulesResultsRegionsRelatedPlacesAndFixes) {
    Report r = sample();
    r.files.push_back({"/srv/elsewhere/X.INC", {"\xc3\xa9\xf0\x9f\x98\x80 LDB 1"}, 0, 3, 1});
    r.files.push_back({"/home/me/src/sub dir/Y.INC", {"NOP"}, 0, 3, 1});
    Diagnostic far;
    far.message = "after a two-unit character";
    far.code = "Q9999";
    far.range = {2, 1, 8, 10};  // LDB, after 6 bytes that are 3 UTF-16 units
    r.diagnostics.push_back(far);
    far.range = {3, 1, 1, 3};
    r.diagnostics.push_back(far);
    const json log = json::parse(renderSarif(r, "/home/me/src"));
    EXPECT_EQ(log["version"], "2.1.0");
    const json& run = log["runs"][0];
    EXPECT_EQ(run["tool"]["driver"]["rules"].size(), codeTable().size());
    EXPECT_EQ(run["originalUriBaseIds"]["SRCROOT"]["uri"], "file:///home/me/src/");
    const json& e = run["results"][0];
    EXPECT_EQ(e["ruleId"], codeTable().front().code);
    EXPECT_EQ(e["ruleIndex"], 0);
    EXPECT_EQ(e["level"], "error");
    EXPECT_EQ(e["message"]["text"], "unknown statement word LDAA; did you mean LDA?");
    const json& place = e["locations"][0]["physicalLocation"];
    EXPECT_EQ(place["artifactLocation"], json({{"uri", "DEFS.INC"}, {"uriBaseId", "SRCROOT"}}));
    EXPECT_EQ(place["region"], json({{"startLine", 1}, {"startColumn", 2}, {"endColumn", 6}}));
    EXPECT_EQ(e["relatedLocations"][0]["message"]["text"], "the nearest word");
    const json& replacement = e["fixes"][0]["artifactChanges"][0]["replacements"][0];
    EXPECT_EQ(replacement["deletedRegion"]["endColumn"], 6);
    EXPECT_EQ(replacement["insertedContent"]["text"], "LDA");
    EXPECT_EQ(run["results"][1]["properties"]["tags"][0], "unnecessary");
    const json& outside = run["results"][2]["locations"][0]["physicalLocation"];
    EXPECT_EQ(outside["artifactLocation"], json({{"uri", "file:///srv/elsewhere/X.INC"}}));
    EXPECT_EQ(outside["region"]["startColumn"], 5);
    EXPECT_EQ(outside["region"]["endColumn"], 8);
    EXPECT_EQ(run["results"][3]["locations"][0]["physicalLocation"]["artifactLocation"]["uri"], "sub%20dir/Y.INC");
}

// Whatever bytes a name holds, the JSON and SARIF parse, valid UTF-8 comes
// back unchanged, and the text shows no control byte.
TEST(RenderBytes, AnyBytesMakeValidJsonAndVisibleText) {
    const char* pieces[] = {"A",    "\x01", "\x7f", "\xc3\xa9", "\xf0\x9f\x98\x80", "\xff", "\xc3",
                            "\x80", "\"",   "\\",   "\t"};
    std::mt19937 random(21);
    for (int round = 0; round < 100; round++) {
        std::string name;
        for (int n = random() % 8; n > 0; n--) name += pieces[random() % std::size(pieces)];
        Report r = sample();
        r.diagnostics[1].message = name;
        r.files[0].name = name;
        bool utf8 = true;  // the reference: nlohmann refuses to write anything else
        try {
            (void)json(name).dump();
        } catch (const json::type_error&) {
            utf8 = false;
        }
        const json doc = json::parse(renderJson(r));
        if (utf8) {
            EXPECT_EQ(doc["diagnostics"][1]["message"], name) << round;
        }
        json log;
        EXPECT_NO_THROW(log = json::parse(renderSarif(r, "/"))) << round;
        for (const char c : renderText(r, false))
            ASSERT_FALSE((static_cast<unsigned char>(c) < 0x20 && c != '\n' && c != '\t') || c == '\x7f') << round;
    }
}

}  // namespace
}  // namespace qvek::diag
