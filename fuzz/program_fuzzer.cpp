// libFuzzer entry for qvek as a user runs it. Each input is a command line and
// a small tree of files: the main source, two includes, an append file and an
// old target from the input's parts, with links to them, a folder and a pipe
// beside them. The command line takes its words from the names of that tree,
// under their own names and others (./, a symbolic and a hard link, a folder,
// a missing folder, devices), and runs through the program's entry point.
// Beyond the sanitizers, every run is held to what qvek promises: no file but
// the target changes; an include that is the target leaves it as it was; a
// run that reports an error leaves the target empty or as it was; a run
// without a warning or an error leaves a load file that reads back, with the
// append file behind it; and no descriptor stays open.
#include <fuzzer/FuzzedDataProvider.h>

#include <cstdint>
#include <cstdio>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

#include "app/run.h"
#include "fuzz_tree.h"
#include "inspect/load_image.h"

namespace {

fuzzing::Folder folder;
fuzzing::Capture console(stdout);
fuzzing::Capture errors(stderr);
std::string commandText;  // the run's command line, for the report of a finding

[[noreturn]] void finding(const char* what) {
    std::fprintf(stderr, "fuzzer: %s\n", commandText.c_str());
    fuzzing::fail(what);
}

// A word naming a file, and the file of the tree it leads to ("" outside the tree).
struct Name {
    const char* word;
    const char* file;
};

const Name kSources[] = {
    {"MAIN.QVS", "MAIN.QVS"}, {"./MAIN.QVS", "MAIN.QVS"},
    {"LINK.QVS", "MAIN.QVS"}, {"HARD.QVS", "MAIN.QVS"},
    {"A.INC", "A.INC"},       {"MISSING.QVS", ""},
    {"DIR", "DIR"},           {"/dev/null", ""},
    {"PIPE.INC", ""},         {"DIR/../MAIN.QVS", "MAIN.QVS"},
};
const Name kTargets[] = {
    {"OUT.UCD", "OUT.UCD"},   {"./OUT.UCD", "OUT.UCD"}, {"DIR/OUT.UCD", "DIR/OUT.UCD"},
    {"A.INC", "A.INC"},       {"T.INC", "OUT.UCD"},     {"MAIN.QVS", "MAIN.QVS"},
    {"HARD.QVS", "MAIN.QVS"}, {"DIR", "DIR"},           {"NONE/OUT.UCD", ""},
    {"/dev/full", ""},        {"/dev/null", ""},        {"TAIL.TXT", "TAIL.TXT"},
};
const Name kAppends[] = {
    {"TAIL.TXT", "TAIL.TXT"}, {"OUT.UCD", "OUT.UCD"},   {"T.INC", "OUT.UCD"}, {"MISSING.TXT", ""},
    {"DIR", "DIR"},           {"MAIN.QVS", "MAIN.QVS"}, {"/dev/null", ""},    {"A.INC", "A.INC"},
};
const char kLetters[] = "ipdsx";  // x is no option: counted, never named

void buildTree(const std::vector<std::string>& parts, bool oldTarget) {
    folder.write("MAIN.QVS", parts[0]);
    folder.write("A.INC", parts[1]);
    folder.write("B.INC", parts[2]);
    folder.write("TAIL.TXT", parts[3]);
    if (oldTarget) folder.write("OUT.UCD", parts[4]);
    folder.mkdir("DIR");
    folder.symlink("MAIN.QVS", "LINK.QVS");
    folder.hardLink("MAIN.QVS", "HARD.QVS");
    folder.symlink("OUT.UCD", "T.INC");  // INC T.INC includes the target when it is OUT.UCD
    folder.symlink("DIR", "D.INC");
    folder.mkfifo("PIPE.INC");
}

// The command line: option words, then the source and the target, in one of the shapes qvek reads;
// *named tells whether it names both.
std::vector<std::string> commandLine(FuzzedDataProvider& in, const Name& source, const Name& target,
                                     const Name** append, bool* named) {
    std::vector<std::string> words;
    const int shape = in.ConsumeIntegralInRange(0, 7);
    *named = shape == 0 || shape >= 3;
    if (shape == 0) return {source.word, target.word};  // exactly two words: no options
    const int options = in.ConsumeIntegralInRange(0, 3);
    for (int i = 0; i < options; i++) {
        std::string word = "-";
        for (uint8_t bits = in.ConsumeIntegral<uint8_t>(); bits != 0; bits >>= 3) word += kLetters[bits % 5];
        words.push_back(word);
    }
    if (in.ConsumeBool()) {
        *append = &kAppends[in.ConsumeIntegralInRange<size_t>(0, std::size(kAppends) - 1)];
        words.push_back(std::string("-a") + (*append)->word);
    }
    if (shape == 1) return words;  // no names: the usage text
    words.push_back(source.word);
    if (shape == 2) return words;  // no target
    words.push_back(target.word);
    if (shape == 3) words.push_back("EXTRA.UCD");  // ignored
    return words;
}

// The counts of the closing report, when it was printed.
bool reportCounts(const std::string& out, int* warnings, int* errorCount) {
    const size_t done = out.rfind(" Errors -- Done !");
    if (done == std::string::npos) return false;
    const size_t line = out.rfind('\n', done);
    return line != std::string::npos &&
           std::sscanf(out.c_str() + line, "\n %d Warning   %d", warnings, errorCount) == 2;
}

bool readsAsLoadFile(const std::string& path) {
    FILE* in = std::fopen(path.c_str(), "rb");
    if (in == nullptr) return false;
    auto image = std::make_unique<qvek::LoadImage>();
    const bool read = qvek::readLoadFile(in, *image) == 0;
    std::fclose(in);
    return read;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    folder.create("qvek-program-fuzz");
    std::atexit([] { folder.remove(); });
    console.create();
    errors.create();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const size_t control = fuzzing::controlSize(size);
    FuzzedDataProvider in(data + size - control, control);
    const std::string text(reinterpret_cast<const char*>(data), size - control);
    const Name& source = kSources[in.ConsumeIntegralInRange<size_t>(0, std::size(kSources) - 1)];
    const Name& target = kTargets[in.ConsumeIntegralInRange<size_t>(0, std::size(kTargets) - 1)];
    const bool oldTarget = in.ConsumeBool();
    const Name* append = nullptr;
    bool named = false;
    const std::vector<std::string> words = commandLine(in, source, target, &append, &named);
    const std::vector<std::string> parts = fuzzing::splitParts(text, 5);

    folder.clear();
    buildTree(parts, oldTarget);
    const auto before = folder.snapshot();
    const std::string targetFile = target.file;
    const bool inTree = !targetFile.empty() && targetFile != "DIR";
    const std::string old = inTree ? folder.read(targetFile) : "";
    const bool appendInTree = append != nullptr && append->file[0] != '\0' && std::string(append->file) != "DIR";
    const std::string tail = appendInTree ? folder.read(append->file) : "";
    folder.enter();
    struct stat info;
    const bool targetExisted = stat(target.word, &info) == 0;
    const ino_t targetInode = targetExisted ? info.st_ino : 0;
    std::vector<const char*> argv{"qvek"};
    commandText = "qvek";
    for (const std::string& w : words) {
        argv.push_back(w.c_str());
        commandText += " " + w;
    }
    const int firstFreeFd = fuzzing::lowestFreeFd();
    console.start();
    errors.start();
    const int status = qvek::runAssembler(static_cast<int>(argv.size()), argv.data());
    const std::string out = console.stop();
    errors.stop();
    if (fuzzing::lowestFreeFd() != firstFreeFd) finding("a run left a descriptor open");
    const auto after = folder.snapshot();

    // No file but the target (under any of its names) changes, appears or goes.
    for (const auto& [path, entry] : before) {
        const bool isTarget = targetExisted && lstat(path.c_str(), &info) == 0 && info.st_ino == targetInode;
        const auto now = after.find(path);
        if (now == after.end()) finding("a file went");
        if (now->second != entry && !isTarget) finding("a file that is not the target changed");
    }
    for (const auto& [path, entry] : after)
        if (before.count(path) == 0 && path != targetFile) finding("a file that is not the target appeared");
    const std::string written = inTree ? folder.read(targetFile) : "";

    // What the closing report says holds for the target.
    int warnings = 0, errorCount = 0;
    if (inTree && reportCounts(out, &warnings, &errorCount)) {
        if (out.find("\nERROR:- Include file ") != std::string::npos &&
            out.find(" is the target file !") != std::string::npos && written != old)
            finding("an include that is the target was changed");
        if (errorCount > 0 && !written.empty() && written != old) finding("a failed run wrote its target");
    }
    if (status == 0 && inTree && named) {
        // Without a warning the append file was copied whole behind the load file.
        if (written.size() < tail.size() || written.compare(written.size() - tail.size(), tail.size(), tail) != 0)
            finding("the append file is not behind the load file");
        // A debug-hardware file of nothing is empty; anything else reads back.
        if (written.size() > tail.size() && !readsAsLoadFile(targetFile))
            finding("a load file qvek wrote does not read back");
    }
    folder.leave();
    return 0;
}
