// Sources served by an opener as memory streams assemble exactly as the same
// files read from disk: the reader takes glibc's stream buffer directly, and a
// memory stream's buffer is not a file's.
#include "source/opener.h"

#include <unistd.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <random>
#include <string>

#include "inspect/source_names.h"
#include "test_support.h"

namespace qvek::test {
namespace {

// Files by the names the passes open them by, served from memory.
struct MemoryFiles {
    std::map<std::string, std::string> texts;
    int opened = 0;
    static FILE* open(void* context, const char* name) {
        auto& files = *static_cast<MemoryFiles*>(context);
        const auto found = files.texts.find(name);
        if (found == files.texts.end()) return nullptr;
        files.opened++;
        return fmemopen(found->second.data(), found->second.size(), "r");
    }
};

// A program long enough to cross every stream buffer, with comments, blanks,
// CR LF line ends, lines at the length limit, includes and forward targets.
std::map<std::string, std::string> randomProgram(unsigned seed) {
    std::mt19937 rng(seed);
    std::string main = "DEF #C 5 OR 2\nPAT #P H1234\n", sub;
    for (int i = 0; i < 600; i++) {
        std::string& to = rng() % 3 == 0 ? sub : main;
        switch (rng() % 6) {
            case 0:
                to += "#L" + std::to_string(i) + "  lda #C   * comment " + std::string(rng() % 200, 'x') + "\n";
                break;
            case 1: to += "\tcal #T" + std::to_string(rng() % 10) + "\r\n"; break;
            case 2: to += "LPP #P\n\n\n"; break;
            case 3: to += "NOP " + std::string(114, ' ') + "* " + std::string(rng() % 5000, '*') + "\n"; break;
            case 4: to += "#" + std::string(78, 'A') + " LDA " + std::string(36, '0') + "\n"; break;  // 120 characters
            default: to += "#L" + std::to_string(i) + "\n"; break;
        }
    }
    main += "INC SUB.INC\nRET\n";
    for (int t = 0; t < 10; t++) main += "#T" + std::to_string(t) + " RET\n";
    return {{"MAIN.QVS", main}, {"SUB.INC", sub}};
}

void expectSameAssembly(const AsmState& disk, const AsmState& memory) {
    EXPECT_EQ(memory.errorCount, disk.errorCount);
    EXPECT_EQ(memory.warningCount, disk.warningCount);
    EXPECT_EQ(memory.labelCount, disk.labelCount);
    EXPECT_EQ(memory.programHighWater, disk.programHighWater);
    EXPECT_EQ(std::memcmp(memory.programImage, disk.programImage, sizeof disk.programImage), 0);
    for (uint32_t i = 0; i < disk.labelCount; i++)
        EXPECT_EQ(memory.programLabels[i].address, disk.programLabels[i].address);
}

class Opener : public ::testing::Test {
  protected:
    Opener() {
        std::filesystem::create_directories(folder);
        EXPECT_EQ(chdir(folder.c_str()), 0);
    }
    ~Opener() override {
        EXPECT_EQ(chdir(home), 0);
        std::free(home);
        std::filesystem::remove_all(folder);
    }
    const std::filesystem::path folder =
        std::filesystem::temp_directory_path() / ("qvek-opener-" + std::to_string(getpid()));
    char* home = getcwd(nullptr, 0);
};

TEST_F(Opener, MemoryStreamsAssembleAsFilesDo) {
    for (unsigned seed = 1; seed <= 8; seed++) {
        MemoryFiles files{randomProgram(seed)};
        for (const auto& [name, text] : files.texts) std::ofstream(name, std::ios::binary) << text;
        auto disk = std::make_unique<AsmState>();
        ASSERT_EQ(assembleSilently(*disk, "MAIN.QVS", true), SourceResult::Assembled) << seed;
        // Served from memory; the files on disk are changed so any read from there would show.
        for (const auto& [name, text] : files.texts) std::ofstream(name) << "BAD\n";
        auto memory = std::make_unique<AsmState>();
        memory->opener = MemoryFiles::open;
        memory->openerContext = &files;
        ASSERT_EQ(assembleSilently(*memory, "MAIN.QVS", true), SourceResult::Assembled) << seed;
        EXPECT_EQ(files.opened, 4);  // each file once per pass
        expectSameAssembly(*disk, *memory);
    }
}

TEST_F(StateTest, AnIncludeTheOpenerRefusesIsAnIncludeThatCannotBeOpened) {
    MemoryFiles files{{{"MAIN.QVS", "INC GONE.INC\n"}}};
    st->opener = MemoryFiles::open;
    st->openerContext = &files;
    EXPECT_EQ(runPass1(*st, openSource(*st, "MAIN.QVS")), -1);
    EXPECT_EQ(out(), "\nERROR:- Could not open include file GONE.INC !");
}

TEST_F(StateTest, EmptyAndZeroLengthMemoryStreamsReadAsEmptySources) {
    MemoryFiles files{{{"MAIN.QVS", ""}}};
    st->opener = MemoryFiles::open;
    st->openerContext = &files;
    EXPECT_EQ(runPass1(*st, openSource(*st, "MAIN.QVS")), 0);
    EXPECT_EQ(st->errorCount + st->warningCount, 0);
}

}  // namespace
}  // namespace qvek::test
