// The whole run in-process, in a folder of its own: the checks between the
// command line, the files and the two passes that no well-formed source meets,
// each with its message and its count.
#include "app/run.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "core/observer.h"
#include "test_support.h"

namespace qvek::test {
namespace {

class Run : public ::testing::Test {
  protected:
    Run() {
        char pattern[] = "/tmp/qvek-run-test.XXXXXX";
        folder = mkdtemp(pattern);
        home = getcwd(nullptr, 0);
        EXPECT_EQ(chdir(folder.c_str()), 0);
        st->console = console.stream();
    }
    ~Run() override {
        EXPECT_EQ(chdir(home), 0);
        std::free(home);
        EXPECT_EQ(std::system(("rm -rf " + folder).c_str()), 0);
    }

    static void write(const std::string& name, const std::string& text) { std::ofstream(name) << text; }
    static std::string read(const std::string& name) {
        std::stringstream text;
        text << std::ifstream(name).rdbuf();
        return text.str();
    }

    int run(std::vector<std::string> words) {
        std::vector<const char*> pointers;
        for (const std::string& w : words) pointers.push_back(w.c_str());
        return runAssembly(*st, static_cast<int>(pointers.size()), pointers.data());
    }

    bool said(const std::string& message) {
        const bool found = console.text().find(message) != std::string::npos;
        EXPECT_TRUE(found) << "missing: " << message << "\nconsole:\n" << console.text();
        return found;
    }

    std::string folder;
    char* home = nullptr;
    std::unique_ptr<AsmState> st = std::make_unique<AsmState>();
    Capture console;
};

TEST_F(Run, AppendFileThatCannotBeAppended) {
    write("main.qvs", "NOP\n");
    // A name no path can have is never opened.
    EXPECT_EQ(run({"-a" + std::string(5000, 'x'), "main.qvs", "out.ucd"}), -1);
    said("\nWARNING:- Append file name is longer than 4096 characters. No file appended !");
    EXPECT_EQ(st->warningCount, 1);
    const std::string loadFile = read("out.ucd");
    EXPECT_NE(loadFile.find("SEQUENCER PROGRAM MEMORY SEGMENT"), std::string::npos);

    // Copying the target onto its own end would never finish.
    st = std::make_unique<AsmState>();
    st->console = console.stream();
    EXPECT_EQ(run({"-aout.ucd", "main.qvs", "out.ucd"}), -1);
    said("\nWARNING:- Append file out.ucd is the target file. No file appended !");
    EXPECT_EQ(read("out.ucd").size(), loadFile.size());
}

TEST_F(Run, TargetThatIsTheSourceIsNotEmptied) {
    write("main.qvs", "NOP\n");
    EXPECT_EQ(run({"main.qvs", "./main.qvs"}), -1);
    said("\nERROR:- Target file ./main.qvs is the source file main.qvs. Nothing written !");
    EXPECT_EQ(st->errorCount, 1);
    EXPECT_EQ(read("main.qvs"), "NOP\n");
}

TEST_F(Run, IncludeThatIsTheTargetIsRefused) {
    write("main.qvs", "NOP\nINC OUT.UCD\n");
    write("OUT.UCD", "##\nold load file\n");
    EXPECT_EQ(run({"main.qvs", "OUT.UCD"}), -1);
    said("\nERROR:- Include file OUT.UCD on line 002 in file main.qvs is the target file !");
    // A build mistake, not a failed assembly: the file is left as it was.
    EXPECT_EQ(read("OUT.UCD"), "##\nold load file\n");
}

TEST_F(Run, SourceThatCannotBeRead) {
    // A folder opens like a file and fails on the first read.
    ASSERT_EQ(mkdir("folder.qvs", 0700), 0);
    EXPECT_EQ(run({"folder.qvs", "out.ucd"}), -1);
    said("\nERROR:- Could not read file folder.qvs after line 000 !");
    EXPECT_EQ(read("out.ucd"), "");
}

TEST_F(Run, NoMemoryForTheLineBuffers) {
    write("main.qvs", "NOP\n");
    st->allocate = [](AsmState&, size_t) -> void* { return nullptr; };
    EXPECT_EQ(run({"main.qvs", "out.ucd"}), -1);
    said("\nERROR:- Out of memory for the line buffers reading file main.qvs !");
    EXPECT_EQ(st->errorCount, 1);
}

// Told of each include a pass opens, so a test can change the files between the passes.
struct Meddler {
    int opened = 0;
    void (*act)(int opened) = nullptr;
    static void observe(void* self, const AsmState&, const AsmEvent& event) {
        if (event.kind != EventKind::FileEntered || event.depth == 0) return;
        Meddler& m = *static_cast<Meddler*>(self);
        m.act(++m.opened);
    }
};

TEST_F(Run, SourceRemovedBeforePass2) {
    write("main.qvs", "INC PART.INC\nNOP\n");
    write("PART.INC", "NOP\n");
    Meddler meddler{0, [](int) { std::remove("main.qvs"); }};
    st->observer = Meddler::observe;
    st->observerContext = &meddler;
    EXPECT_EQ(run({"main.qvs", "out.ucd"}), -1);
    said("\nERROR:- Cannot open source file main.qvs on pass 2");
    EXPECT_EQ(read("out.ucd"), "");
}

TEST_F(Run, SourceGrownBeforePass2) {
    write("main.qvs", "INC PART.INC\n");
    write("PART.INC", "NOP\n");
    // Pass 2 has opened the include: it reads the new text, far past program memory.
    Meddler meddler{0, [](int opened) {
                        std::string many;
                        for (int i = 0; i < 5000; i++) many += "NOP\n";
                        if (opened == 2) write("PART.INC", many);
                    }};
    st->observer = Meddler::observe;
    st->observerContext = &meddler;
    EXPECT_EQ(run({"main.qvs", "out.ucd"}), -1);
    said(
        "\nERROR:- Program address beyond program memory on line 4096 in file PART.INC on pass 2. "
        "Did the source change?");
    EXPECT_EQ(read("out.ucd"), "");
}

TEST_F(Run, ConstantsAsPatternValueAndOrigin) {
    write("main.qvs", "DEF #V H1234ABCD\nDEF #O H20\nPAT #P #V\nPAT #Q #V H4\nORG PGM #O\nRET\n");
    EXPECT_EQ(run({"-s", "main.qvs", "out.ucd"}), 0);
    EXPECT_EQ(st->patternMemory[0].value, 0x1234ABCDu);
    EXPECT_EQ(st->patternMemory[2].value, 0x1234ABCDu);
    EXPECT_EQ(st->programImage[0x20], 8);
    EXPECT_EQ(st->programHighWater, 0x21u);
}

}  // namespace
}  // namespace qvek::test
