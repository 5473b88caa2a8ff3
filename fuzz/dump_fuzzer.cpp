// libFuzzer entry for qvekdump as a user runs it. Each input is a command line
// and a small tree: a source, two includes, an append file and the bytes of a
// raw load file, from the input's parts. The source is assembled by qvek's own
// run into a load file (either layout, the append file behind it or not), and
// the inspector's entry point runs on that file, on the raw one or on the
// source, in every mode, its output standard output, a new file or a file the
// run reads. Beyond the sanitizers, every run is held to what qvekdump
// promises: no file it reads changes and a failed run leaves no output behind;
// a load file qvek wrote reads, and its images end where qvek's end or later
// (where appended text begins with whole rows); --asm text of it assembles to
// the same load file; --convert there and back loads the same memory and keeps
// the appended bytes; Intel HEX records add up and hold the memory; the check
// exits 1 exactly when it reports an error, which without --werror is when
// qvek fails with one, and its JSON and SARIF always parse.
#include <fuzzer/FuzzedDataProvider.h>

#include <algorithm>
#include <cctype>
#include <cstdint>
#include <cstdio>
#include <iterator>
#include <memory>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "app/run.h"
#include "core/state_memory.h"
#include "fuzz_tree.h"
#include "inspect/load_image.h"
#include "tools/dump_run.h"

namespace {

fuzzing::Folder folder;
fuzzing::Capture console(stdout);
fuzzing::Capture errors(stderr);
FILE* nullSink = nullptr;
std::string commandText;  // the run's command line, for the report of a finding

[[noreturn]] void finding(const char* what) {
    std::fprintf(stderr, "fuzzer: %s\n", commandText.c_str());
    fuzzing::fail(what);
}

enum class Oracle : uint8_t { None, Listing, Asm, Convert, IntelHex, CheckText, CheckJson, CheckSarif };

struct Mode {
    const char* word;  // null: the default listing
    bool readsSource;  // SOURCE rather than LOADFILE
    Oracle oracle;
};

const Mode kModes[] = {
    {nullptr, false, Oracle::Listing},
    {"--asm", false, Oracle::Asm},
    {"-S", false, Oracle::Asm},
    {"--convert=debughw", false, Oracle::Convert},
    {"--convert=configtool", false, Oracle::Convert},
    {"--readmemh=program", false, Oracle::None},
    {"-mpattern", false, Oracle::None},
    {"--ihex=program", false, Oracle::IntelHex},
    {"--ihex=pattern", false, Oracle::IntelHex},
    {"--svg", false, Oracle::None},
    {"--svg", true, Oracle::None},
    {"--make-deps", true, Oracle::None},
    {"--listing", true, Oracle::None},
    {"--symbols", true, Oracle::None},
    {"--symbols=json", true, Oracle::None},
    {"--addr2line", true, Oracle::None},
    {"--check", true, Oracle::CheckText},
    {"--check", true, Oracle::CheckJson},
    {"--check", true, Oracle::CheckSarif},
};

// A word naming a file, and the file of the tree it leads to ("" outside the tree).
struct Name {
    const char* word;
    const char* file;
};
const Name kLoadFiles[] = {{"PROG.UCD", "PROG.UCD"}, {"HARD.UCD", "PROG.UCD"}, {"RAW.UCD", "RAW.UCD"},
                           {"MISSING.UCD", ""},      {"DIR", "DIR"},           {"/dev/null", ""}};
// No pipe: --make-deps reads its source once, and would wait for a writer as any program would.
const Name kSources[] = {{"MAIN.QVS", "MAIN.QVS"}, {"LINK.QVS", "MAIN.QVS"}, {"A.INC", "A.INC"},
                         {"MISSING.QVS", ""},      {"DIR", "DIR"},           {"/dev/null", ""}};
const Name kOutputs[] = {{"OUT.TXT", "OUT.TXT"},   {"DIR/OUT.TXT", "DIR/OUT.TXT"},
                         {"NONE/OUT.TXT", ""},     {"PROG.UCD", "PROG.UCD"},
                         {"HARD.UCD", "PROG.UCD"}, {"MAIN.QVS", "MAIN.QVS"},
                         {"A.INC", "A.INC"},       {"LINK.INC", "A.INC"},
                         {"RAW.UCD", "RAW.UCD"},   {"DIR", "DIR"},
                         {"/dev/full", ""},        {"/dev/null", ""}};
const char* const kJunk[] = {"-",        "--",        "-Z",          "--convert", "--convert=x", "-o",
                             "--source", "--target=", "--output=",   "-SM",       "--help",      "-V",
                             "-hx",      "EXTRA",     "--symbols=x", "-tT",       "--make-dep",  "-c",
                             "-Wx",      "--format",  "--color=x",   "-Wno-"};

template <typename T, size_t N>
const T& pick(FuzzedDataProvider& in, const T (&table)[N]) {
    return table[in.ConsumeIntegralInRange<size_t>(0, N - 1)];
}

// Assembles a source as qvek does, silently, into a target; returns its error count (-1 without memory).
int assemble(const std::vector<std::string>& words) {
    qvek::AsmStatePtr st = qvek::newAsmState();
    if (st == nullptr) return -1;
    st->console = nullSink;
    std::vector<const char*> pointers;
    for (const std::string& w : words) pointers.push_back(w.c_str());
    qvek::runAssembly(*st, static_cast<int>(pointers.size()), pointers.data());
    return st->errorCount;
}

// Runs the inspector's entry point in the folder; its standard output and error are caught.
int inspect(const std::vector<std::string>& words, std::string* out, std::string* err) {
    std::vector<std::string> copies = words;
    std::vector<char*> argv{const_cast<char*>("qvekdump")};
    for (std::string& w : copies) argv.push_back(w.data());
    argv.push_back(nullptr);
    console.start();
    errors.start();
    const int status = qvek::runInspector(static_cast<int>(argv.size()) - 1, argv.data());
    *out = console.stop();
    *err = errors.stop();
    return status;
}

struct ReadBack {
    std::unique_ptr<qvek::LoadImage> image = std::make_unique<qvek::LoadImage>();
    bool read = false;
    std::string bytes;
};

ReadBack readBack(const std::string& bytes) {
    ReadBack r;
    r.bytes = bytes;
    FILE* in = bytes.empty() ? std::fopen("/dev/null", "rb")
                             : fmemopen(const_cast<char*>(r.bytes.data()), r.bytes.size(), "rb");
    if (in == nullptr) fuzzing::fail("fmemopen");
    r.read = qvek::readLoadFile(in, *r.image) == 0;
    std::fclose(in);
    return r;
}

// Where the images of a file end: at its appended content, or at its end.
uint64_t imagesEnd(const ReadBack& r) { return r.image->appended ? r.image->appendedOffset : r.bytes.size(); }

// A load file without the lines that name its source and time, which the text does not keep.
std::string withoutHeaderNames(const std::string& text) {
    std::string kept;
    for (size_t from = 0; from < text.size();) {
        size_t end = text.find('\n', from);
        end = end == std::string::npos ? text.size() : end + 1;
        const std::string line = text.substr(from, end - from);
        if (line.find(" generated from ") == std::string::npos) kept += line;
        from = end;
    }
    return kept;
}

// The same memory: every word the first holds, the same in the second; words beyond them zero.
bool sameMemory(const qvek::LoadImage& a, const qvek::LoadImage& b) {
    if (b.patternSlots < a.patternSlots || b.programWords < a.programWords) return false;
    for (uint32_t k = 0; k < b.patternSlots; k++)
        if (b.patternValues[k] != (k < a.patternSlots ? a.patternValues[k] : 0)) return false;
    for (uint32_t n = 0; n < 4 * b.programWords; n++)
        if (b.programImage[n] != (n < 4 * a.programWords ? a.programImage[n] : 0)) return false;
    return true;
}

std::string appendedBytes(const ReadBack& r) { return r.bytes.substr(imagesEnd(r)); }

// --asm: the text assembles, in the same layout, to the images qvek wrote.
void checkSourceText(const std::string& text, const std::string& images, bool debugHw) {
    folder.write("AGAIN.QVS", text);
    const int errorCount = assemble({"-s", debugHw ? "-i" : "-p", "AGAIN.QVS", "AGAIN.UCD"});
    if (errorCount != 0) finding("--asm text does not assemble");
    if (withoutHeaderNames(folder.read("AGAIN.UCD")) != withoutHeaderNames(images))
        finding("--asm text assembles to another load file");
}

// --convert: the other layout loads the same memory, and converted back too; appended bytes stay.
void checkConversion(const std::string& converted, const ReadBack& original) {
    const ReadBack once = readBack(converted);
    if (!once.read) finding("a converted load file does not read");
    // Appended text that begins with rows of the new layout cannot be told from them.
    if (imagesEnd(once) != converted.size() - appendedBytes(original).size()) return;
    if (!sameMemory(*original.image, *once.image) || appendedBytes(once) != appendedBytes(original))
        finding("a converted load file loads other memory");
    folder.write("CONV.UCD", converted);
    std::string back, err;
    const bool toOriginal = original.image->layout == qvek::DebugHwFormat;
    if (inspect({toOriginal ? "--convert=debughw" : "--convert=configtool", "CONV.UCD"}, &back, &err) != 0)
        finding("a converted load file does not convert back");
    const ReadBack twice = readBack(back);
    if (!twice.read || !sameMemory(*original.image, *twice.image) || appendedBytes(twice) != appendedBytes(original))
        finding("a load file converted there and back loads other memory");
}

int hexDigit(char c) { return c <= '9' ? c - '0' : c - 'A' + 10; }

// Intel HEX: every record adds up to zero, and the data records hold the memory's bytes in order.
void checkIntelHex(const std::string& hex, const ReadBack& original, bool program) {
    const qvek::LoadImage& image = *original.image;
    uint32_t expected = 0;
    for (size_t from = 0; from < hex.size();) {
        const size_t end = hex.find('\n', from);
        const std::string record = hex.substr(from, end - from);
        from = end == std::string::npos ? hex.size() : end + 1;
        if (record.size() < 11 || record[0] != ':' || record.size() % 2 == 0) finding("a malformed Intel HEX record");
        std::vector<uint32_t> bytes;
        uint32_t sum = 0;
        for (size_t i = 1; i < record.size(); i += 2) {
            bytes.push_back(static_cast<uint32_t>(hexDigit(record[i]) * 16 + hexDigit(record[i + 1])));
            sum += bytes.back();
        }
        if ((sum & 0xFF) != 0) finding("an Intel HEX record does not add up");
        if (bytes[3] != 0) continue;  // the end record
        const uint32_t address = bytes[1] << 8 | bytes[2];
        if (address != expected || bytes[0] + 5 != bytes.size()) finding("an Intel HEX record out of order");
        for (uint32_t i = 0; i < bytes[0]; i++, expected++) {
            const uint32_t word = program ? expected / 2 : expected / 4;
            uint32_t value = 0;
            if (program)
                for (uint32_t n = 4; n-- > 0;) value = value << 4 | image.programImage[4 * word + n];
            else
                value = image.patternValues[word];
            if (bytes[4 + i] != (value >> (8 * (program ? expected % 2 : expected % 4)) & 0xFF))
                finding("an Intel HEX record holds other bytes than the memory");
        }
    }
    if (expected != (program ? 2 * image.programWords : 4 * image.patternSlots)) finding("Intel HEX lacks bytes");
}

// The check's report read back: the exit status is 1 exactly when it counts an
// error, and qvek fails with an error exactly when the check, without
// --werror, finds one.
void checkReport(const Mode& mode, const std::string& out, int status, bool werror, int qvekErrors) {
    using nlohmann::json;
    if (mode.oracle == Oracle::CheckText) return;
    json doc;
    try {
        doc = json::parse(out);
    } catch (const json::exception&) {
        finding(mode.oracle == Oracle::CheckSarif ? "the check's SARIF does not parse"
                                                  : "the check's JSON does not parse");
    }
    size_t errors = 0;
    if (mode.oracle == Oracle::CheckJson) {
        errors = doc.at("errors").get<size_t>();
    } else {
        for (const json& result : doc.at("runs").at(0).at("results")) {
            if (!result.at("message").at("text").is_string() || !result.at("ruleId").is_string())
                finding("a SARIF result without its rule or message");
            errors += result.at("level") == "error";
        }
    }
    if ((errors > 0) != (status == 1)) finding("the check's exit status is not what its report counts");
    if (!werror && qvekErrors >= 0 && (errors > 0) != (qvekErrors > 0))
        finding("the check and qvek disagree on whether the source has an error");
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    folder.create("qvek-dump-fuzz");
    std::atexit([] { folder.remove(); });
    console.create();
    errors.create();
    nullSink = std::fopen("/dev/null", "w");
    // --addr2line without an address reads standard input: it is empty here, as in a build.
    const int null = open("/dev/null", O_RDONLY);
    if (nullSink == nullptr || null < 0 || dup2(null, 0) != 0) fuzzing::fail("/dev/null");
    close(null);
    // Both assemblies of a round trip name the same time.
    setenv("SOURCE_DATE_EPOCH", "0", 1);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const size_t control = fuzzing::controlSize(size);
    FuzzedDataProvider in(data + size - control, control);
    const std::string text(reinterpret_cast<const char*>(data), size - control);
    const bool debugHw = in.ConsumeBool();
    const bool appendTail = in.ConsumeBool();
    const Mode& mode = pick(in, kModes);
    const Name& loadFile = pick(in, kLoadFiles);
    const Name& source = pick(in, kSources);
    const uint8_t extras = in.ConsumeIntegral<uint8_t>();
    const Name& output = pick(in, kOutputs);
    const uint16_t address = in.ConsumeIntegral<uint16_t>();
    const std::vector<std::string> parts = fuzzing::splitParts(text, 6);
    // A word of the input's own (part 6), never reaching outside the folder.
    std::string own = parts[5].substr(0, 64);
    own.erase(std::remove(own.begin(), own.end(), '/'), own.end());

    folder.clear();
    folder.write("MAIN.QVS", parts[0]);
    folder.write("A.INC", parts[1]);
    folder.write("B.INC", parts[2]);
    folder.write("TAIL.TXT", parts[3]);
    folder.write("RAW.UCD", parts[4]);
    folder.mkdir("DIR");
    folder.symlink("MAIN.QVS", "LINK.QVS");
    folder.symlink("A.INC", "LINK.INC");
    folder.enter();

    // The load file qvek writes for the source.
    std::vector<std::string> qvekWords{"-s", debugHw ? "-i" : "-p"};
    if (appendTail) qvekWords.push_back("-aTAIL.TXT");
    qvekWords.insert(qvekWords.end(), {"MAIN.QVS", "PROG.UCD"});
    const int qvekErrors = assemble(qvekWords);
    const bool qvekWrote = qvekErrors == 0;
    struct stat info;
    if (stat("PROG.UCD", &info) == 0) folder.hardLink("PROG.UCD", "HARD.UCD");
    const std::string prog = folder.read("PROG.UCD");
    const size_t imagesSize = qvekWrote ? prog.size() - (appendTail ? parts[3].size() : 0) : 0;

    // The command line: the mode, its file, the options it takes, now and then a word that is wrong.
    const std::string modeWord = mode.word != nullptr ? mode.word : "";
    std::vector<std::string> words;
    if (mode.word != nullptr) words.push_back(mode.word);
    const bool named = mode.oracle == Oracle::Listing || mode.oracle == Oracle::Asm;
    const bool withSource = named && (extras & 1) != 0;
    if (withSource) words.push_back(std::string("--source=") + source.word);
    // A target of the input's own may be empty or one make cannot hold: a mistake like a wrong word.
    const bool ownTarget = modeWord == "--make-deps" && (extras & 2) != 0;
    if (ownTarget) words.push_back("--target=" + own);
    const bool werror = modeWord == "--check" && (extras & 2) != 0;
    if (werror) words.push_back("--werror");
    if (mode.oracle == Oracle::CheckJson) words.push_back("--format=json");
    if (mode.oracle == Oracle::CheckSarif) words.push_back("--format=sarif");
    const bool withOutput = (extras & 4) != 0;
    if (withOutput) words.insert(words.end(), {"-o", output.word});
    const Name& file = mode.readsSource ? source : loadFile;
    words.push_back(file.word);
    if (modeWord == "--addr2line") {
        char hex[8];
        std::snprintf(hex, sizeof hex, "0x%x", address % qvek::kProgramNibbles);
        words.push_back(hex);
    }
    const bool junk = (extras & 0x18) == 0x18;
    if (junk) {
        const std::string word = (extras & 0x20) != 0 ? own : kJunk[extras % std::size(kJunk)];
        words.insert(words.begin() + (extras >> 5) % (words.size() + 1), word);
    }
    const bool wellFormed = !junk && !ownTarget;
    commandText = "qvekdump";
    for (const std::string& w : words) commandText += " " + w;

    const auto before = folder.snapshot();
    const std::string outputBefore = withOutput ? folder.read(output.file) : "";
    const ino_t outputInode = withOutput && stat(output.word, &info) == 0 ? info.st_ino : 0;
    const int firstFreeFd = fuzzing::lowestFreeFd();
    std::string out, err;
    const int status = inspect(words, &out, &err);
    if (fuzzing::lowestFreeFd() != firstFreeFd) finding("a run left a descriptor open");
    const auto after = folder.snapshot();

    if (status < 0 || status > 2) finding("an exit status other than 0, 1 or 2");
    if (status == 2 && wellFormed) finding("a well-formed command line taken for a mistake");
    // No file changes but a new output, and that only when the run succeeds (a failing
    // source keeps its listing up to the failure, and the check's report of its errors).
    const bool keepsOnFailure = modeWord == "--listing" || modeWord == "--check";
    const std::string outputFile = withOutput ? output.file : "";
    for (const auto& [path, entry] : before) {
        const auto now = after.find(path);
        if (now == after.end()) finding("a file went");
        const bool isOutput = path == outputFile || (lstat(path.c_str(), &info) == 0 && info.st_ino == outputInode);
        if (now->second != entry && !isOutput) finding("a file that is not the output changed");
        if (now->second != entry && (path == file.file || (withSource && path == source.file)))
            finding("the output replaced a file the run reads");
    }
    for (const auto& [path, entry] : after) {
        if (before.count(path) != 0) continue;
        if (path != outputFile) finding("a file that is not the output appeared");
        if (status != 0 && !keepsOnFailure) finding("a failed run left its output behind");
    }
    if (status != 0 && withOutput && before.count(outputFile) != 0 && folder.read(outputFile) != outputBefore &&
        !keepsOnFailure)
        finding("a failed run changed its output");

    // What holds for a load file qvek wrote, read as qvekdump reads it.
    const bool ofQvek = imagesSize > 0 && std::string(file.file) == "PROG.UCD" && !mode.readsSource;
    const bool ownSource = !withSource || std::string(source.file) == "MAIN.QVS";
    if (ofQvek && wellFormed && !withOutput && ownSource) {
        const ReadBack original = readBack(prog);
        if (!original.read || status != 0) finding("a load file qvek wrote does not read");
        if (imagesEnd(original) < imagesSize) finding("the images of a load file qvek wrote end early");
    }
    // Whatever the mode, the source text of a load file qvek wrote gives that load file again.
    if (ofQvek && imagesEnd(readBack(prog)) == imagesSize) {
        std::string text = out, err2;
        const bool asked = mode.oracle == Oracle::Asm && wellFormed && !withOutput && !withSource && status == 0;
        if (!asked && inspect({"--asm", "PROG.UCD"}, &text, &err2) != 0)
            finding("--asm refused a load file qvek wrote");
        checkSourceText(text, prog.substr(0, imagesSize), debugHw);
    }
    // The check of the source qvek assembled, written to standard output.
    // qvek's own run refuses an include that is its load file, which the check writes none of.
    const auto namesLoadFile = [&](const std::string& part) {
        std::string upper = part;
        for (char& c : upper) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
        return upper.find("UCD") != std::string::npos;
    };
    const bool comparable = !namesLoadFile(parts[0]) && !namesLoadFile(parts[1]) && !namesLoadFile(parts[2]);
    const bool mainSource = std::string(source.file) == "MAIN.QVS";
    if (modeWord == "--check" && wellFormed && !withOutput && mainSource)
        checkReport(mode, out, status, werror, comparable ? qvekErrors : -1);
    if (status == 0 && wellFormed && !withOutput && !mode.readsSource) {
        const ReadBack original = readBack(folder.read(file.file));
        if (mode.oracle == Oracle::Convert && (original.image->programWords | original.image->patternSlots) != 0)
            checkConversion(out, original);
        if (mode.oracle == Oracle::IntelHex) checkIntelHex(out, original, std::string(mode.word) == "--ihex=program");
    }
    folder.leave();
    return 0;
}
