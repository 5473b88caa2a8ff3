// The record of an assembly: the line map of program memory against a plain
// model of random programs, and where the names were defined.
#include "inspect/record.h"

#include <random>
#include <string>
#include <vector>

#include "test_support.h"

namespace qvek::test {
namespace {

// A line as the model reads it: where it stands and what it says.
struct ModelLine {
    std::string file;
    int line;
    std::string text;
};

struct ModelOwner {
    std::string file;
    int line = 0;  // 0: no statement occupies the nibble
    uint32_t start = 0;
};

// Sizes of the instructions the programs use, and whether pass 2 writes nibbles 1 to 3.
struct Instruction {
    const char* text;
    uint32_t size;
    bool target;
};
constexpr Instruction kInstructions[] = {
    {"NOP", 1, false},    {"LMR 9", 2, false},    {"LDA HA5", 3, false}, {"LPP 7", 4, false},
    {"CAL 300", 4, true}, {"JCB H12 1", 5, true}, {"JMP 64", 5, true},
};

std::string randomLines(std::mt19937& random, int count) {
    std::string text;
    for (int i = 0; i < count; i++) {
        const uint32_t pick = random() % 20;
        if (pick < std::size(kInstructions))
            text += std::string(random() % 2 ? "#L" + std::to_string(i) + " " : "  ") + kInstructions[pick].text;
        else if (pick < 9)
            text += "ORG PGM " + std::to_string(random() % 3000);  // forwards and backwards
        else if (pick < 11)
            text += "* comment";
        else if (pick < 12)
            text += "#ALONE" + std::to_string(i);
        text += "\n";
    }
    return text;
}

std::vector<ModelLine> linesOf(const std::string& file, const std::string& text) {
    std::vector<ModelLine> lines;
    size_t from = 0;
    for (int n = 1; from < text.size(); n++) {
        const size_t end = text.find('\n', from);
        lines.push_back({file, n, text.substr(from, end - from)});
        from = end + 1;
    }
    return lines;
}

// Which statement each nibble holds last: pass 1 writes opcodes and operands in
// reading order, then pass 2 writes the targets, in reading order again.
std::vector<ModelOwner> modelOwners(const std::vector<ModelLine>& lines) {
    std::vector<ModelOwner> owners(kProgramNibbles);
    for (int pass = 1; pass <= 2; pass++) {
        uint32_t pc = 0;
        for (const ModelLine& l : lines) {
            if (l.text.rfind("ORG PGM ", 0) == 0) {
                pc = std::stoul(l.text.substr(8));
                continue;
            }
            for (const Instruction& i : kInstructions) {
                if (l.text.find(i.text) == std::string::npos) continue;
                for (uint32_t k = 0; k < i.size; k++)
                    if ((pass == 2) == (i.target && k >= 1 && k <= 3)) owners[pc + k] = {l.file, l.line, pc};
                pc += i.size;
                break;
            }
        }
    }
    return owners;
}

TEST(Record, LineMapHoldsTheStatementThatWroteEachNibbleLast) {
    Folder folder;
    std::mt19937 random(20240607);
    for (int round = 0; round < 40; round++) {
        const std::string part = randomLines(random, 12);
        std::string main = randomLines(random, 30);
        const size_t at = main.find('\n', random() % main.size());
        main.insert(at + 1, "  INC PART.INC\n");
        folder.write("main.qvs", main);
        folder.write("PART.INC", part);

        std::vector<ModelLine> lines;
        for (const ModelLine& l : linesOf("main.qvs", main)) {
            if (l.text == "  INC PART.INC") {
                const auto included = linesOf("PART.INC", part);
                lines.insert(lines.end(), included.begin(), included.end());
            } else {
                lines.push_back(l);
            }
        }
        const std::vector<ModelOwner> expected = modelOwners(lines);

        auto st = std::make_unique<AsmState>();
        auto record = std::make_unique<Record>();
        ASSERT_EQ(recordSource(*st, *record, "main.qvs"), SourceResult::Assembled) << main;
        for (uint32_t a = 0; a < kProgramNibbles; a++) {
            const NibbleOwner& got = record->nibbles[a];
            const ModelOwner& want = expected[a];
            ASSERT_EQ(got.statement != 0, want.line != 0) << "nibble " << a << " of\n" << main << "with\n" << part;
            if (want.line == 0) continue;
            ASSERT_EQ(record->files.name(got.site.file), want.file) << "nibble " << a;
            ASSERT_EQ(got.site.line, want.line) << "nibble " << a;
            ASSERT_EQ(got.start, want.start) << "nibble " << a;
        }
    }
}

TEST(Record, NamesWhereTheyWereDefined) {
    Folder folder;
    folder.write("main.qvs", "INC DEFS.INC\n\n#START NOP\nPAT #OVER 5 H40\nINC DEFS.INC\n");
    folder.write("DEFS.INC", "DEF #K 1\nPAT #P H10\n");
    auto st = std::make_unique<AsmState>();
    auto record = std::make_unique<Record>();
    ASSERT_EQ(recordSource(*st, *record, "main.qvs"), SourceResult::Assembled);
    ASSERT_EQ(record->files.count(), 2u);
    EXPECT_STREQ(record->files.name(0), "main.qvs");
    EXPECT_STREQ(record->files.name(1), "DEFS.INC");
    auto where = [&](const Site& s) { return std::string(record->files.name(s.file)) + ":" + std::to_string(s.line); };
    EXPECT_EQ(where(record->labels[0]), "main.qvs:3");
    EXPECT_EQ(where(record->constants[0]), "DEFS.INC:1");
    EXPECT_EQ(where(record->constants[1]), "DEFS.INC:1");  // the second reading's entry
    EXPECT_EQ(where(record->patterns[0]), "DEFS.INC:2");
    EXPECT_EQ(where(record->patterns[32]), "main.qvs:4");
    EXPECT_EQ(where(record->patterns[1]), "DEFS.INC:2");  // the second PAT #P found slot 0 taken
    EXPECT_EQ(record->patterns[2].file, kNoFile);
    EXPECT_EQ(record->lines[1], 8u);
    EXPECT_EQ(record->completed[2], 8u);
}

}  // namespace
}  // namespace qvek::test
