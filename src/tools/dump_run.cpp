#include "tools/dump_run.h"

#include <sys/stat.h>

#include <cerrno>
#include <cstdarg>
#include <cstring>
#include <memory>
#include <new>

#include "inspect/exports.h"
#include "inspect/listing.h"
#include "inspect/load_image.h"
#include "inspect/source_names.h"
#include "tools/dump_options.h"

namespace qvek {

namespace {

constexpr int kFailureStatus = 1;  // a file could not be read, parsed or written

void report(const char* format, ...) __attribute__((format(printf, 1, 2)));
void report(const char* format, ...) {
    va_list args;
    va_start(args, format);
    std::vfprintf(stderr, format, args);
    va_end(args);
    std::fputc('\n', stderr);
}

// Where the output goes: standard output, or a file that is removed again when it is not written whole.
struct Output {
    FILE* stream = stdout;
    const char* name = nullptr;  // null for standard output
    bool regular = false;        // a plain file, which may be removed (never a device or a pipe)
};

bool sameFile(const char* a, const char* b) {
    struct stat first, second;
    return stat(a, &first) == 0 && stat(b, &second) == 0 && first.st_dev == second.st_dev &&
           first.st_ino == second.st_ino;
}

int openOutput(const DumpOptions& options, Output& out) {
    if (options.outputName == nullptr) return 0;
    // Opening the output empties it: it must not be the file that is read.
    if (sameFile(options.fileName, options.outputName)) {
        report("\nERROR:- Output file %s is the file being read. Nothing written !", options.outputName);
        return -1;
    }
    out.stream = std::fopen(options.outputName, "w");
    if (out.stream == nullptr) {
        report("\nERROR:- Cannot open output file %s: %s", options.outputName, std::strerror(errno));
        return -1;
    }
    out.name = options.outputName;
    struct stat info;
    out.regular = fstat(fileno(out.stream), &info) == 0 && S_ISREG(info.st_mode);
    return 0;
}

// Closes the output; a failed run, or output that did not reach its file whole, leaves no file behind.
int closeOutput(Output& out, bool succeeded) {
    bool written = std::ferror(out.stream) == 0;
    if (out.name == nullptr) {
        if (std::fflush(out.stream) != 0) written = false;
    } else if (std::fclose(out.stream) != 0) {
        written = false;
    }
    if (succeeded && !written)
        report("\nERROR:- Could not write %s completely !", out.name != nullptr ? out.name : "standard output");
    if (out.regular && !(succeeded && written)) std::remove(out.name);
    return succeeded && written ? 0 : kFailureStatus;
}

// Assembles the source of --source for its names; null after reporting why there are none.
std::unique_ptr<AsmState> sourceNames(const char* sourceName, const Inspection& inspection) {
    std::unique_ptr<AsmState> st(new (std::nothrow) AsmState());
    if (st == nullptr) {
        report("\nERROR:- Out of memory for the source %s !", sourceName);
        return nullptr;
    }
    switch (assembleSilently(*st, sourceName, true)) {
        case SourceResult::Assembled: break;
        case SourceResult::CannotOpen: report("\nERROR:- Cannot open source file %s", sourceName); return nullptr;
        case SourceResult::Pass1Failed:
        case SourceResult::Pass2Failed:
            report("\nERROR:- Source file %s does not assemble; qvek reports why. No names taken from it !",
                   sourceName);
            return nullptr;
    }
    char difference[kDifferenceTextSize];
    if (findDifference(*st, inspection.image, difference, sizeof difference))
        report("\nWARNING:- Source file %s does not give load file %s: %s. Its names may be misplaced.", sourceName,
               inspection.loadName, difference);
    return st;
}

int writeMode(const DumpOptions& options, const Inspection& inspection, FILE* in, FILE* out) {
    switch (options.mode) {
        case DumpMode::Listing: writeListing(inspection, out); return 0;
        case DumpMode::SourceText: writeSourceText(inspection, out); return 0;
        case DumpMode::Readmemh: writeReadmemh(inspection.image, options.memory, inspection.loadName, out); return 0;
        case DumpMode::IntelHex: writeIntelHex(inspection.image, options.memory, out); return 0;
        case DumpMode::Convert:
            if (writeLayout(inspection.image, options.layout, out) < 0) {
                report("\nERROR:- Out of memory converting %s !", inspection.loadName);
                return -1;
            }
            if (copyAppended(inspection.image, in, out) < 0) {
                report("\nERROR:- Could not copy the content appended to %s !", inspection.loadName);
                return -1;
            }
            return 0;
        case DumpMode::MakeDeps: break;
    }
    return -1;
}

int inspectOpenFile(const DumpOptions& options, FILE* in) {
    std::unique_ptr<Inspection> inspection(new (std::nothrow) Inspection());
    if (inspection == nullptr) {
        report("\nERROR:- Out of memory reading %s !", options.fileName);
        return kFailureStatus;
    }
    inspection->loadName = options.fileName;
    const LoadImage& image = inspection->image;
    if (readLoadFile(in, inspection->image) < 0) {
        if (image.errorLine > 0)
            report("\nERROR:- %s on line %3.3u in file %s", image.error, image.errorLine, options.fileName);
        else
            report("\nERROR:- %s in file %s", image.error, options.fileName);
        return kFailureStatus;
    }
    std::unique_ptr<AsmState> st;
    if (options.sourceName != nullptr) {
        st = sourceNames(options.sourceName, *inspection);
        if (st == nullptr) return kFailureStatus;
        inspection->sourceName = options.sourceName;
    }
    prepareInspection(*inspection, st.get());
    Output out;
    if (openOutput(options, out) < 0) return kFailureStatus;
    const bool written = writeMode(options, *inspection, in, out.stream) == 0;
    return closeOutput(out, written);
}

int inspect(const DumpOptions& options) {
    FILE* in = std::fopen(options.fileName, "rb");
    if (in == nullptr) {
        report("\nERROR:- Cannot open load file %s: %s", options.fileName, std::strerror(errno));
        return kFailureStatus;
    }
    const int status = inspectOpenFile(options, in);
    std::fclose(in);
    return status;
}

int makeDependencies(const DumpOptions& options) {
    std::unique_ptr<AsmState> st(new (std::nothrow) AsmState());
    std::unique_ptr<DependencyList> list(new (std::nothrow) DependencyList());
    if (st == nullptr || list == nullptr) {
        report("\nERROR:- Out of memory for the source %s !", options.fileName);
        return kFailureStatus;
    }
    st->observer = observeIncludes;
    st->observerContext = list.get();
    switch (assembleSilently(*st, options.fileName, false)) {
        case SourceResult::Assembled: break;
        case SourceResult::CannotOpen:
            report("\nERROR:- Cannot open source file %s", options.fileName);
            return kFailureStatus;
        case SourceResult::Pass1Failed:
        case SourceResult::Pass2Failed:
            report("\nERROR:- Source file %s does not assemble; qvek reports why. No rule written !", options.fileName);
            return kFailureStatus;
    }
    if (list->overflow) {
        report("\nERROR:- Source file %s includes more than %u files. No rule written !", options.fileName,
               kMaxDependencies);
        return kFailureStatus;
    }
    char target[kPathBufferSize + sizeof ".ucd"];  // the source name may lose no more than its extension
    const char* targetName = options.targetName;
    if (targetName == nullptr) {
        if (!defaultTarget(options.fileName, target, sizeof target)) {
            report("\nERROR:- Source name %s is too long to make a target name of. No rule written !",
                   options.fileName);
            return kFailureStatus;
        }
        targetName = target;
    }
    Output out;
    if (openOutput(options, out) < 0) return kFailureStatus;
    writeMakeRule(out.stream, targetName, options.fileName, *list);
    return closeOutput(out, true);
}

}  // namespace

int runInspector(int argc, char** argv) {
    DumpOptions options;
    if (parseDumpOptions(argc, argv, options) < 0) return kUsageStatus;
    if (options.help) {
        printDumpHelp(stdout);
        return 0;
    }
    if (options.version) {
        printDumpVersion(stdout);
        return 0;
    }
    return options.mode == DumpMode::MakeDeps ? makeDependencies(options) : inspect(options);
}

}  // namespace qvek
