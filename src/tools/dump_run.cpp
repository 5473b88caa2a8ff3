#include "tools/dump_run.h"

#include <unistd.h>

#include <cerrno>
#include <cstdarg>
#include <cstring>
#include <memory>
#include <new>

#include "core/observer.h"
#include "core/symbols.h"
#include "diag/engine.h"
#include "diag/render.h"
#include "inspect/address_lookup.h"
#include "inspect/exports.h"
#include "inspect/listing.h"
#include "inspect/load_image.h"
#include "inspect/memory_picture.h"
#include "inspect/record.h"
#include "inspect/source_listing.h"
#include "inspect/source_names.h"
#include "inspect/symbol_json.h"
#include "inspect/symbol_map.h"
#include "source/files.h"
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

// Opening the output empties it, so it must be no file the run reads. Its
// identity is learnt before anything is read, and every file read is held
// against it: the load file, the source and each include, by device and inode.
struct ReadFiles {
    FileIdentity output;                // the output file as the run began; unknown while there is none
    bool read = false;                  // the run read it
    bool asLoadFile = false;            // as the load file (or the make rule's source), which has its own message
    char readAs[kPathBufferSize] = {};  // the name under which the run read it
};

ReadFiles watchOutput(const DumpOptions& options) {
    ReadFiles files;
    // A device or a pipe is not emptied by opening it.
    if (options.outputName != nullptr) files.output = identityOf(options.outputName);
    if (!files.output.regular) files.output = FileIdentity{};
    return files;
}

void noteRead(ReadFiles& files, const char* name, const FileIdentity& id, bool loadFile = false) {
    if (files.read || !sameFile(files.output, id)) return;
    files.read = true;
    files.asLoadFile = loadFile;
    copyText(files.readAs, sizeof files.readAs, name);
}

int openOutput(const DumpOptions& options, const ReadFiles& files, Output& out) {
    if (options.outputName == nullptr) return 0;
    if (files.read && files.asLoadFile) {
        report("\nERROR:- Output file %s is the file being read. Nothing written !", options.outputName);
        return -1;
    }
    if (files.read) {
        report("\nERROR:- Output file %s is the file %s, which this run reads. Nothing written !", options.outputName,
               files.readAs);
        return -1;
    }
    out.stream = std::fopen(options.outputName, "w");
    if (out.stream == nullptr) {
        report("\nERROR:- Cannot open output file %s: %s", options.outputName, std::strerror(errno));
        return -1;
    }
    out.name = options.outputName;
    out.regular = identityOf(out.stream).regular;
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

// What the modes that assemble a source say when it cannot be opened; its own messages say why it failed.
int reportUnassembled(SourceResult result, const char* sourceName) {
    if (result == SourceResult::CannotOpen) report("\nERROR:- Cannot open source file %s", sourceName);
    return kFailureStatus;
}

// A source assembled with its record, and what a mode makes of them: one
// allocation, so that one check covers the memory of all three.
template <typename Product>
struct RecordedSource {
    AsmState st;
    Record record;
    Product product;
    SourceResult result = SourceResult::CannotOpen;  // how its assembly ended
};

struct NoProduct {};  // a mode that needs the assembly and its record alone

// Assembles a source with its record, the assembler's messages on standard
// error as every mode that assembles a source prints them (a source that
// cannot be opened is said so here); null without memory, after saying so.
template <typename Product>
std::unique_ptr<RecordedSource<Product>> assembleAloud(const char* sourceName, bool bothPasses) {
    std::unique_ptr<RecordedSource<Product>> source(new (std::nothrow) RecordedSource<Product>());
    if (source == nullptr) {
        report("\nERROR:- Out of memory for the source %s !", sourceName);
        return nullptr;
    }
    source->record.messages = stderr;
    source->result = recordSource(source->st, source->record, sourceName, bothPasses);
    endMessages(source->record);
    reportUnassembled(source->result, sourceName);
    return source;
}

// Holds every file an assembly read, the source first, against the output.
// The source is the file being read, unless it stands beside a load file.
void noteSourceFiles(ReadFiles& files, const Record& record, bool sourceIsRead = true) {
    for (uint32_t i = 0; i < record.files.count(); i++)
        noteRead(files, record.files.name(i), identityOf(record.files.name(i)), i == 0 && sourceIsRead);
}

// Assembles a source with its record and holds its files against the output;
// null after saying why not (the assembler's own messages say why it failed).
template <typename Product>
std::unique_ptr<RecordedSource<Product>> recordOrReport(const char* sourceName, ReadFiles& files) {
    auto source = assembleAloud<Product>(sourceName, true);
    if (source == nullptr || source->result != SourceResult::Assembled) return nullptr;
    noteSourceFiles(files, source->record);
    return source;
}

// Assembles the source of --source for its names; null after reporting why there are none.
std::unique_ptr<RecordedSource<NoProduct>> sourceNames(const char* sourceName, const Inspection& inspection,
                                                       ReadFiles& files) {
    auto source = assembleAloud<NoProduct>(sourceName, true);
    if (source == nullptr || source->result == SourceResult::CannotOpen) return nullptr;
    if (source->result != SourceResult::Assembled) {
        report("\nERROR:- Source file %s does not assemble; qvek reports why. No names taken from it !", sourceName);
        return nullptr;
    }
    noteSourceFiles(files, source->record, false);
    char difference[kDifferenceTextSize];
    if (findDifference(source->st, inspection.image, difference, sizeof difference))
        report("\nWARNING:- Source file %s does not give load file %s: %s. Its names may be misplaced.", sourceName,
               inspection.loadName, difference);
    return source;
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
        case DumpMode::MakeDeps:
        case DumpMode::SourceListing:
        case DumpMode::Symbols:
        case DumpMode::Check:
        case DumpMode::Picture: {
            MemoryPicture picture;  // some 50 kB, well within any stack
            pictureLoadFile(picture, inspection);
            writeMemorySvg(picture, out);
            return 0;
        }
        case DumpMode::AddressLookup: break;
    }
    return -1;
}

// A first line that is no header is most often a source named where a load
// file belongs: the modes that read one are named.
void suggestSourceModes(const char* name) {
    report("%s is no load file. If it is a source, try:\n"
           "  qvekdump --listing %s           the source with addresses, nibbles and messages\n"
           "  qvekdump --source %s LOADFILE   LOADFILE, named from this source\n"
           "  qvekdump --check %s             the assembler's diagnostics, no load file needed",
           name, name, name, name);
}

int inspectOpenFile(const DumpOptions& options, FILE* in, ReadFiles& files) {
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
        if (image.headerMissing) suggestSourceModes(options.fileName);
        return kFailureStatus;
    }
    std::unique_ptr<RecordedSource<NoProduct>> source;
    if (options.sourceName != nullptr) {
        source = sourceNames(options.sourceName, *inspection, files);
        if (source == nullptr) return kFailureStatus;
        inspection->sourceName = options.sourceName;
    }
    prepareInspection(*inspection, source != nullptr ? &source->st : nullptr);
    Output out;
    if (openOutput(options, files, out) < 0) return kFailureStatus;
    const bool written = writeMode(options, *inspection, in, out.stream) == 0;
    return closeOutput(out, written);
}

int drawSource(const DumpOptions& options, ReadFiles& files);

int inspect(const DumpOptions& options) {
    ReadFiles files = watchOutput(options);
    FILE* in = std::fopen(options.fileName, "rb");
    if (in == nullptr) {
        report("\nERROR:- Cannot open %s %s: %s", options.mode == DumpMode::Picture ? "file" : "load file",
               options.fileName, std::strerror(errno));
        return kFailureStatus;
    }
    // A picture is drawn of a load file or of a source. Only a plain file can
    // be a source: both passes read it, and the first line of a pipe or a
    // device would be gone once looked at.
    if (options.mode == DumpMode::Picture && identityOf(in).regular) {
        if (!startsLikeLoadFile(in)) {
            std::fclose(in);
            return drawSource(options, files);
        }
        std::rewind(in);
    }
    noteRead(files, options.fileName, identityOf(in), true);
    const int status = inspectOpenFile(options, in, files);
    std::fclose(in);
    return status;
}

int makeDependencies(const DumpOptions& options) {
    ReadFiles files = watchOutput(options);
    // Pass 1 opens every include; the source is read once, as make reads it.
    const auto source = assembleAloud<DependencyList>(options.fileName, false);
    if (source == nullptr || source->result == SourceResult::CannotOpen) return kFailureStatus;
    if (source->result != SourceResult::Assembled) {
        report("\nERROR:- Source file %s does not assemble; qvek reports why. No rule written !", options.fileName);
        return kFailureStatus;
    }
    noteSourceFiles(files, source->record);
    DependencyList* list = &source->product;
    for (uint32_t i = 1; i < source->record.files.count(); i++) recordInclude(list, source->record.files.name(i));
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
    if (const char* name = nameMakeCannotHold(targetName, options.fileName, *list)) {
        report("\nERROR:- File name %s cannot be written in a make rule. No rule written !", name);
        return kFailureStatus;
    }
    Output out;
    if (openOutput(options, files, out) < 0) return kFailureStatus;
    writeMakeRule(out.stream, targetName, options.fileName, *list);
    return closeOutput(out, true);
}

int listSource(const DumpOptions& options) {
    ReadFiles files = watchOutput(options);
    std::unique_ptr<SourceListing> listing = SourceListing::create();
    if (listing == nullptr) {
        report("\nERROR:- Out of memory for the source %s !", options.fileName);
        return kFailureStatus;
    }
    const SourceResult result = listing->assemble(options.fileName, stderr);
    if (result == SourceResult::CannotOpen) return reportUnassembled(result, options.fileName);
    noteSourceFiles(files, listing->record());
    Output out;
    if (openOutput(options, files, out) < 0) return kFailureStatus;
    const bool written = listing->write(out.stream) == 0;
    if (!written) report("\nERROR:- Out of memory listing the source %s !", options.fileName);
    // A source that fails keeps its listing up to the failure: that is when it is needed most.
    const int status = closeOutput(out, written);
    return result == SourceResult::Assembled ? status : kFailureStatus;
}

int mapSymbols(const DumpOptions& options) {
    ReadFiles files = watchOutput(options);
    const auto source = recordOrReport<NoProduct>(options.fileName, files);
    if (source == nullptr) return kFailureStatus;
    const AsmState& st = source->st;
    const Record& record = source->record;
    Output out;
    if (openOutput(options, files, out) < 0) return kFailureStatus;
    if (options.symbols == SymbolFormat::Text) {
        writeSymbolTable(st, record, out.stream);
        return closeOutput(out, true);
    }
    // The statements are written as a second assembly's pass 2 places them, however many there are.
    beginSymbolJson(st, record, options.fileName, out.stream);
    JsonStatements statements{out.stream};
    std::unique_ptr<AsmState> again(new (std::nothrow) AsmState());
    bool written = again != nullptr;
    if (written) {
        again->observer = observeJsonStatements;
        again->observerContext = &statements;
        written = assembleSilently(*again, options.fileName, true) == SourceResult::Assembled;
    }
    if (written)
        endSymbolJson(statements);
    else
        report("\nERROR:- Source file %s could not be assembled a second time. No map written !", options.fileName);
    return closeOutput(out, written);
}

int drawSource(const DumpOptions& options, ReadFiles& files) {
    const auto source = recordOrReport<MemoryPicture>(options.fileName, files);
    if (source == nullptr) return kFailureStatus;
    pictureSource(source->product, source->st, source->record, options.fileName);
    Output out;
    if (openOutput(options, files, out) < 0) return kFailureStatus;
    writeMemorySvg(source->product, out.stream);
    return closeOutput(out, true);
}

int answerAddresses(const DumpOptions& options, bool mistaken) {
    ReadFiles files = watchOutput(options);
    const auto source = recordOrReport<AddressLookup>(options.fileName, files);
    if (source == nullptr) return kFailureStatus;
    AddressLookup& lookup = source->product;
    prepareLookup(lookup, source->st, source->record);
    Output out;
    if (openOutput(options, files, out) < 0) return kFailureStatus;
    bool read = true;
    if (options.addressCount == 0) {
        read = answerLog(lookup, stdin, out.stream) == 0;
        if (!read) report("\nERROR:- Could not read standard input: %s", std::strerror(errno));
    }
    for (int i = 0; i < options.addressCount; i++) {
        uint32_t address = 0;
        if (readAddress(options.addresses[i], std::strlen(options.addresses[i]), address) == AddressReading::Address)
            answerAddress(lookup, address, out.stream);
    }
    // A run that ends in a mistake leaves no output file behind, as every failed run does.
    return closeOutput(out, read && !mistaken);
}

// A bad address on the command line, reported already, takes nothing from the good ones: they are
// answered, and the mistake decides the exit status at the end.
int lookUpAddresses(const DumpOptions& options) {
    bool mistaken = false;
    for (int i = 0; i < options.addressCount; i++) {
        uint32_t address = 0;
        mistaken |= readAddress(options.addresses[i], std::strlen(options.addresses[i]), address) !=
                    AddressReading::Address;
    }
    const int status = answerAddresses(options, mistaken);
    return mistaken ? kUsageStatus : status;
}

// Colour for a terminal only, unless asked for; NO_COLOR and a dumb terminal turn it off.
bool wantsColour(const DumpOptions& options, FILE* out) {
    if (options.colour != ColourChoice::Auto) return options.colour == ColourChoice::Always;
    const char* noColour = std::getenv("NO_COLOR");
    const char* terminal = std::getenv("TERM");
    if (noColour != nullptr && noColour[0] != '\0') return false;
    if (terminal != nullptr && std::strcmp(terminal, "dumb") == 0) return false;
    return isatty(fileno(out)) != 0;
}

// The report in its format: text written as it is made, the documents made whole first.
void writeReport(const DumpOptions& options, const diag::Report& report, FILE* out) {
    std::string document;
    switch (options.format) {
        case ReportFormat::Json: document = diag::renderJson(report); break;
        case ReportFormat::Sarif: {
            char directory[kPathBufferSize * 4];
            document = diag::renderSarif(report, getcwd(directory, sizeof directory) != nullptr ? directory : "");
            break;
        }
        case ReportFormat::Text: diag::writeText(report, wantsColour(options, out), out); return;
    }
    std::fwrite(document.data(), 1, document.size(), out);
}

// The check: every diagnostic of the source and its includes, then 1 when there was an error.
int checkSource(const DumpOptions& options) {
    ReadFiles files = watchOutput(options);
    diag::CheckOptions check;
    check.switches = options.switches;
    check.warningsAsErrors = options.warningsAsErrors;
    diag::Report found;
    Output out;
    try {
        found = diag::check(options.fileName, check);
        for (uint32_t i = 0; i < found.files.size(); i++)
            noteRead(files, found.files[i].name.c_str(), identityOf(found.files[i].name.c_str()), i == 0);
        if (openOutput(options, files, out) < 0) return kFailureStatus;
        writeReport(options, found, out.stream);
    } catch (const std::bad_alloc&) {
        report("\nERROR:- Out of memory checking the source %s !", options.fileName);
        closeOutput(out, false);
        return kFailureStatus;
    }
    const int status = closeOutput(out, true);
    return found.errors > 0 ? kFailureStatus : status;
}

}  // namespace

int runInspector(int argc, char** argv) {
    // A closed standard error would hand its descriptor to the output, and the reports would land there.
    if (!guardStandardDescriptors()) return kFailureStatus;
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
    switch (options.mode) {
        case DumpMode::MakeDeps: return makeDependencies(options);
        case DumpMode::SourceListing: return listSource(options);
        case DumpMode::Symbols: return mapSymbols(options);
        case DumpMode::AddressLookup: return lookUpAddresses(options);
        case DumpMode::Check: return checkSource(options);
        default: return inspect(options);
    }
}

}  // namespace qvek
