#include "app/run.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <ctime>

#include "app/options.h"
#include "app/time_stamp.h"
#include "core/messages.h"
#include "core/state_memory.h"
#include "core/symbols.h"
#include "output/load_file.h"
#include "passes/pass1.h"
#include "passes/pass2.h"
#include "passes/statement.h"
#include "source/files.h"
#include "source/opener.h"

namespace qvek {

namespace {

void printListings(const AsmState& st) {
    const int width = static_cast<int>(st.labelWidth);
    if (st.definitionCount != 0) {
        dump(st, "\n\n Defined constants\n%-*s VALUE", width, "LABEL");
        for (uint32_t i = 0; i < kMaxDefinitions; i++)
            if (const char* name = definitionName(st, i); name[0] != '\0')
                dump(st, "\n%-*s  0x%x", width, name, static_cast<uint32_t>(st.definitions[i].value));
    }
    // Listed whenever the load file carries pattern words, as the writers decide.
    if (st.patternHighWater != 0) {
        dump(st, "\n\n Pattern memory locations\n%-*s VRTADDR   VALUE", width, "LABEL");
        for (uint32_t slot = 0; slot < kPatternSlots; slot++) {
            if (const char* label = patternLabel(st, slot); label[0] != '\0')
                dump(st, "\n%-*s  0x%4.4x   0x%8.8x", width, label, 2 * slot, st.patternMemory[slot].value);
        }
    }
    dump(st, "\n\n Program label listing\n%-*s KRXADDR   LINE #", width, "LABEL");
}

void printClosingReport(const AsmState& st) {
    say(st, "\nUsage: %u (%u%%) locations used in Pattern segment. %u (%u%%) locations used in Program segment.",
        st.patternHighWater, usagePercent(st.patternHighWater, kPatternSlots), st.programHighWater,
        usagePercent(st.programHighWater, kProgramNibbles));
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
    // A full disk or a failing device takes nothing more: an endless append file would copy forever.
    while ((n = std::fread(buffer, 1, sizeof buffer, append)) > 0)
        if (std::fwrite(buffer, 1, n, target) != n || std::ferror(target)) break;
    if (std::ferror(append)) warning(st, "\nWARNING:- Could not read append file %s completely !", st.appendFileName);
    std::fclose(append);
}

// The target as the run holds it: opened without emptying, so that an include
// found to be the target can be left as it was.
struct Target {
    FILE* stream = nullptr;
    const char* name = nullptr;
    bool failed = false;  // it could not be emptied, so the load file would not stand alone
};

// A line break in the source name would split the header line that names it.
bool breaksLines(const char* name) { return std::strpbrk(name, "\n\r") != nullptr; }

FILE* openWithoutEmptying(const char* name) {
    const int fd = open(name, O_WRONLY | O_CREAT, 0666);
    if (fd < 0) return nullptr;
    FILE* stream = fdopen(fd, "w");
    if (stream == nullptr) close(fd);
    return stream;
}

// Source and target named the other way round would replace the source with a
// load file: an existing regular file with text in it is replaced only when it
// is a load file already (whatever was appended behind it). What cannot be
// examined is left to opening it, as before.
bool replacesOtherFile(const char* name) {
    // Devices and pipes are only looked at, never opened here: opening may rewind a tape or meet a waiting writer.
    struct stat info {};
    if (stat(name, &info) != 0 || !S_ISREG(info.st_mode) || info.st_size == 0) return false;
    const int fd = open(name, O_RDONLY | O_NONBLOCK | O_NOCTTY);
    if (fd < 0) return false;
    char start[kFirstLinePeek];
    const ssize_t length = read(fd, start, sizeof start);
    close(fd);
    return length > 0 && !opensLoadFile(start, static_cast<size_t>(length));
}

// Opens the source and then the target; returns 0, or -1 after reporting why not.
int openFiles(AsmState& st, const CommandLine& names, FILE** source, Target& target) {
    *source = nullptr;
    if (breaksLines(names.sourceName))
        return error(st, "\nERROR:- Source file name %s holds a line break, which no load file can hold !",
                     names.sourceName);
    // Opening a pipe waits for a writer, and pass 2 would wait for a second one; a device may read otherwise.
    if (const char* kind = kindRefused(st, names.sourceName))
        return error(st, "\nERROR:- Source file %s is %s, which cannot be read on both passes !", names.sourceName,
                     kind);
    if (std::strlen(names.sourceName) <= kMaxPathLength) *source = openSource(st, names.sourceName);
    if (*source == nullptr) return error(st, "\nERROR:- Cannot open source file %s", names.sourceName);
    // The target is emptied later, but it must never be the source under another name.
    if (sameFile(identityOf(*source), identityOf(names.targetName))) {
        std::fclose(*source);
        return error(st, "\nERROR:- Target file %s is the source file %s. Nothing written !", names.targetName,
                     names.sourceName);
    }
    if (replacesOtherFile(names.targetName)) {
        std::fclose(*source);
        return error(st, "\nERROR:- Target file %s exists and is no load file. Nothing written !", names.targetName);
    }
    target.name = names.targetName;
    target.stream = openWithoutEmptying(names.targetName);
    if (target.stream == nullptr) {
        std::fclose(*source);
        return error(st, "\nERROR:- Cannot open target file %s", names.targetName);
    }
    const FileIdentity id = identityOf(target.stream);
    st.targetKnown = id.known;
    st.targetDevice = id.device;
    st.targetInode = id.inode;
    return 0;
}

// Empties the target once pass 1 has shown that it is no include; devices and pipes cannot be emptied.
void emptyTarget(Target& target) {
    if (ftruncate(fileno(target.stream), 0) != 0 && identityOf(target.stream).regular) target.failed = true;
}

// Both passes and the load file, from the opened source to the appended file.
void assemble(AsmState& st, const CommandLine& names, FILE* source, Target& target) {
    copyText(st.includeNames[0], sizeof st.includeNames[0], names.sourceName);
    say(st, "\nPass 1 of assembler");
    const int pass1 = runPass1(st, source);
    // An include that is the target ends pass 1 before the target is touched.
    if (st.targetIncluded) return;
    emptyTarget(target);
    if (pass1 < 0) return;
    warnUnloadedPatterns(st);
    say(st, "\n\nPass 2 of assembler");
    printListings(st);

    source = kindRefused(st, st.includeNames[0]) != nullptr ? nullptr : openSource(st, st.includeNames[0]);
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
        writeDebugHwFile(st, target.stream, st.includeNames[0], stamp);
    else
        writeConfigToolFile(st, target.stream, st.includeNames[0], stamp);
    appendFile(st, target.stream, names.targetName);
}

// A load file that did not reach the disk whole must not end in success.
void closeTarget(AsmState& st, Target& target) {
    bool failed = target.failed || std::ferror(target.stream) != 0;
    if (std::fclose(target.stream) != 0) failed = true;
    if (failed) error(st, "\nERROR:- Could not write target file %s completely !", target.name);
}

// Messages and listings that never arrived must not pass for success; the
// console cannot say so itself.
void checkConsole(AsmState& st) {
    if (std::fflush(st.console) == 0 && std::ferror(st.console) == 0) return;
    FILE* const console = st.console;
    st.console = stderr;
    error(st, "\nERROR:- Could not write standard output completely !\n");
    st.console = console;
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
        Target target;
        if (openFiles(st, names, &source, target) == 0) {
            assemble(st, names, source, target);
            closeTarget(st, target);
        }
    }
    printClosingReport(st);
    checkConsole(st);
    return st.warningCount == 0 && st.errorCount == 0 ? 0 : -1;
}

int runAssembler(int argc, const char* const* argv) {
    // A closed standard output would hand its descriptor to the target, and the listing would land there.
    if (!guardStandardDescriptors()) return -1;
    // Most of a megabyte: far too large for the stack, and mostly never touched.
    AsmStatePtr st = newAsmState();
    if (st == nullptr) {
        // No state, so no console and no silent flag: the one message not on standard output.
        std::fputs("\nERROR:- Out of memory for the assembler's tables !\n", stderr);
        return -1;
    }
    return runAssembly(*st, argc - 1, argv + 1);
}

}  // namespace qvek
