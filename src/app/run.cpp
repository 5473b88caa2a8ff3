#include "app/run.h"

#include <sys/stat.h>

#include <cstdlib>
#include <cstring>
#include <ctime>
#include <memory>

#include "app/options.h"
#include "app/time_stamp.h"
#include "core/messages.h"
#include "core/symbols.h"
#include "output/load_file.h"
#include "passes/pass1.h"
#include "passes/pass2.h"
#include "passes/statement.h"
#include "source/opener.h"

namespace qvek {

namespace {

bool sameFile(const struct stat& a, const struct stat& b) { return a.st_dev == b.st_dev && a.st_ino == b.st_ino; }

void printListings(const AsmState& st) {
    const int width = static_cast<int>(st.labelWidth);
    if (st.definitionCount != 0) {
        dump(st, "\n\n Defined constants\n%-*s VALUE", width, "LABEL");
        for (const Definition& d : st.definitions)
            if (d.name[0] != '\0') dump(st, "\n%-*s  0x%x", width, d.name, static_cast<uint32_t>(d.value));
    }
    // Listed whenever the load file carries pattern words, as the writers decide.
    if (st.patternHighWater != 0) {
        dump(st, "\n\n Pattern memory locations\n%-*s VRTADDR   VALUE", width, "LABEL");
        for (uint32_t slot = 0; slot < kPatternSlots; slot++) {
            const PatternWord& p = st.patternMemory[slot];
            if (p.label[0] != '\0') dump(st, "\n%-*s  0x%4.4x   0x%8.8x", width, p.label, 2 * slot, p.value);
        }
    }
    dump(st, "\n\n Program label listing\n%-*s KRXADDR   LINE #", width, "LABEL");
}

unsigned percentOf(uint32_t count, uint32_t capacity) {
    return static_cast<unsigned>((static_cast<uint64_t>(count) * 100 + capacity - 1) / capacity);
}

void printClosingReport(const AsmState& st) {
    say(st, "\nUsage: %u (%u%%) locations used in Pattern segment. %u (%u%%) locations used in Program segment.",
        st.patternHighWater, percentOf(st.patternHighWater, kPatternSlots), st.programHighWater,
        percentOf(st.programHighWater, kProgramNibbles));
    say(st, "\nResources: %u locations avail in Pattern segment. %u locations avail in Program segment.", kPatternSlots,
        kProgramNibbles);
    say(st, "\n %d Warning   %d Errors -- Done !\n", st.warningCount, st.errorCount);
}

void appendFile(AsmState& st, FILE* target, const char* targetName) {
    if (st.appendNameTooLong) {
        warning(st, "\nWARNING:- Append file name is longer than %u characters. No file appended !", kMaxPathLength);
        return;
    }
    if (st.appendFileName[0] == '\0') return;
    FILE* append = std::fopen(st.appendFileName, "r");
    if (append == nullptr) {
        warning(st, "\nWARNING:- Could not open append file %s !", st.appendFileName);
        return;
    }
    // Copying the target onto its own end would never finish.
    if (isTargetFile(st, append)) {
        std::fclose(append);
        warning(st, "\nWARNING:- Append file %s is the target file. No file appended !", st.appendFileName);
        return;
    }
    say(st, "\nAppending file %s to %s\n", st.appendFileName, targetName);
    char buffer[4096];
    size_t n;
    while ((n = std::fread(buffer, 1, sizeof buffer, append)) > 0) std::fwrite(buffer, 1, n, target);
    if (std::ferror(append)) warning(st, "\nWARNING:- Could not read append file %s completely !", st.appendFileName);
    std::fclose(append);
}

// Opens the source and then the target; returns the target, or null after reporting why not.
FILE* openFiles(AsmState& st, const CommandLine& names, FILE** source) {
    *source = nullptr;
    // Opening a pipe waits for a writer, and pass 2 would wait for a second one.
    if (isPipe(names.sourceName)) {
        error(st, "\nERROR:- Source file %s is a pipe, which cannot be read on both passes !", names.sourceName);
        return nullptr;
    }
    if (std::strlen(names.sourceName) <= kMaxPathLength) *source = openSource(st, names.sourceName);
    if (*source == nullptr) {
        error(st, "\nERROR:- Cannot open source file %s", names.sourceName);
        return nullptr;
    }
    // Opening the target empties it, so it must not be the source under another name.
    struct stat sourceInfo, targetInfo;
    if (fstat(fileno(*source), &sourceInfo) == 0 && stat(names.targetName, &targetInfo) == 0 &&
        sameFile(sourceInfo, targetInfo)) {
        error(st, "\nERROR:- Target file %s is the source file %s. Nothing written !", names.targetName,
              names.sourceName);
        std::fclose(*source);
        return nullptr;
    }
    FILE* target = std::fopen(names.targetName, "w");
    if (target == nullptr) {
        error(st, "\nERROR:- Cannot open target file %s", names.targetName);
        std::fclose(*source);
        return nullptr;
    }
    if (fstat(fileno(target), &targetInfo) == 0) {
        st.targetKnown = true;
        st.targetDevice = static_cast<uint64_t>(targetInfo.st_dev);
        st.targetInode = static_cast<uint64_t>(targetInfo.st_ino);
    }
    return target;
}

// Both passes and the load file, from the opened source to the appended file.
void assemble(AsmState& st, const CommandLine& names, FILE* source, FILE* target) {
    copyText(st.includeNames[0], sizeof st.includeNames[0], names.sourceName);
    say(st, "\nPass 1 of assembler");
    if (runPass1(st, source) < 0) return;
    warnUnloadedPatterns(st);
    say(st, "\n\nPass 2 of assembler");
    printListings(st);

    source = isPipe(st.includeNames[0]) ? nullptr : openSource(st, st.includeNames[0]);
    if (source == nullptr) {
        error(st, "\nERROR:- Cannot open source file %s on pass 2", st.includeNames[0]);
        return;
    }
    st.programCounter = 0;
    st.currentLine = 0;
    if (runPass2(st, source) < 0) return;

    say(st, "\n\nWriting data out\n");
    char stamp[kTimeStampSize];
    loadFileTimeStamp(st, std::getenv("SOURCE_DATE_EPOCH"), std::time(nullptr), stamp);
    if (st.outputFormat == DebugHwFormat)
        writeDebugHwFile(st, target, st.includeNames[0], stamp);
    else
        writeConfigToolFile(st, target, st.includeNames[0], stamp);
    appendFile(st, target, names.targetName);
}

// A load file that did not reach the disk whole must not end in success.
void closeTarget(AsmState& st, FILE* target, const char* targetName) {
    bool failed = std::ferror(target) != 0;
    if (std::fclose(target) != 0) failed = true;
    if (failed) error(st, "\nERROR:- Could not write target file %s completely !", targetName);
}

}  // namespace

int runAssembly(AsmState& st, int count, const char* const* words) {
    st.appendFileName[0] = '\0';
    CommandLine names;
    if (walkCommandLine(st, count, words, names) < 0) {
        printUsage(st);
        // Options without both names are a mistake, not a request for the usage text.
        if (count >= 2) error(st, "\nERROR:- Source or target file name missing from the command line");
    } else {
        FILE* source = nullptr;
        if (FILE* target = openFiles(st, names, &source)) {
            assemble(st, names, source, target);
            closeTarget(st, target, names.targetName);
        }
    }
    printClosingReport(st);
    return st.warningCount == 0 && st.errorCount == 0 ? 0 : -1;
}

int runAssembler(int argc, const char* const* argv) {
    // Most of a megabyte: far too large for the stack.
    std::unique_ptr<AsmState> st(new AsmState());
    return runAssembly(*st, argc - 1, argv + 1);
}

}  // namespace qvek
