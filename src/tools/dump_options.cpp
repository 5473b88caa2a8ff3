#include "tools/dump_options.h"

#include <getopt.h>

#include <cstdarg>
#include <cstring>
#include <string>

#include "diag/engine.h"
#include "inspect/address_lookup.h"
#include "inspect/source_names.h"
#include "output/load_file.h"

namespace qvek {

namespace {

const char kHelp[] =
    "Usage: qvekdump [OPTION]... LOADFILE\n"
    "  or:  qvekdump --make-deps [--target=TARGET] [--output=FILE] SOURCE\n"
    "  or:  qvekdump --listing|--symbols[=FORMAT] [--output=FILE] SOURCE\n"
    "  or:  qvekdump --addr2line [--output=FILE] SOURCE [ADDRESS]...\n"
    "  or:  qvekdump --svg [--output=FILE] SOURCE|LOADFILE\n"
    "  or:  qvekdump --check [-W[no-]NAME]... [--werror] [--format=FORMAT] SOURCE\n"
    "Inspect a load file written by qvek: list its pattern memory and disassemble\n"
    "its program memory, write it as source text, or convert it to the other\n"
    "layout, to $readmemh or to Intel HEX. Both layouts are read, told apart by\n"
    "their first line: \"##\" configuration tool, \"#\" debug hardware.\n"
    "\n"
    "Modes (the load-file listing is the default):\n"
    "  -S, --asm               write source text that qvek assembles to the same\n"
    "                          images and the same load file (bar its header); the\n"
    "                          address and nibbles of each statement follow it as\n"
    "                          a comment\n"
    "  -c, --convert=LAYOUT    rewrite the load file in LAYOUT: debughw (qvek -i)\n"
    "                          or configtool (qvek -p); the header keeps its source\n"
    "                          name and time stamp, and content appended behind the\n"
    "                          images is copied behind them unchanged\n"
    "  -m, --readmemh=MEMORY   write MEMORY, program or pattern, for $readmemh: a\n"
    "                          comment line, then one word a line from word 0,\n"
    "                          4 hexadecimal digits a program word (16 bits),\n"
    "                          8 a pattern word (32 bits)\n"
    "  -x, --ihex=MEMORY       write MEMORY, program or pattern, as Intel HEX:\n"
    "                          program word w at byte address 2w, pattern word k\n"
    "                          at byte address 4k, least significant byte first,\n"
    "                          16 bytes to a data record, then the end record\n"
    "  -M, --make-deps         print a make rule as gcc -MD -MP writes one: the\n"
    "                          target, SOURCE and every file it includes,\n"
    "                          recursively, each once and named as qvek opens\n"
    "                          it, then an empty rule for each included file\n"
    "      --listing           list SOURCE and its includes line by line, as\n"
    "                          typed: line number, nibble address, the nibbles\n"
    "                          after pass 2 (- where a later statement wrote\n"
    "                          over one, ? where pass 2 never got), what DEF,\n"
    "                          PAT and ORG did, and the assembler's messages\n"
    "                          beneath the lines that drew them\n"
    "      --symbols[=FORMAT]  the names of SOURCE with where each was defined:\n"
    "                          text (the default), a table sorted by kind and\n"
    "                          value; or json, for tools: labels, constants,\n"
    "                          pattern words, the file and line of every\n"
    "                          statement in program memory, and the usage\n"
    "      --addr2line         for each program ADDRESS of SOURCE, print the file\n"
    "                          and line of the statement on that nibble, the\n"
    "                          nearest label at or before it with the offset in\n"
    "                          nibbles (#LOOP+3), and the statement disassembled;\n"
    "                          without ADDRESS, answer each line of standard\n"
    "                          input as it arrives\n"
    "      --svg               draw both memories as an SVG picture: program\n"
    "                          nibbles coloured by the file of their statement,\n"
    "                          labels where they fall, pattern slots by kind, and\n"
    "                          the usage figures\n"
    "      --check             report every mistake in SOURCE and its includes,\n"
    "                          all in one run, at its file, line and column:\n"
    "                          the source line, a caret under the word at fault,\n"
    "                          a fix where one is certain, and warnings qvek\n"
    "                          does not give; exit status 1 when there is an\n"
    "                          error (see Check options)\n"
    "\n"
    "Options:\n"
    "  -s, --source=FILE       name program labels, pattern labels and constants\n"
    "                          in the listing and the source text from FILE, which\n"
    "                          is assembled silently as qvek would; a warning says\n"
    "                          so when it does not give this load file\n"
    "  -t, --target=TARGET     the target of the make rule (default: SOURCE with\n"
    "                          its extension replaced by .ucd)\n"
    "  -o, --output=FILE       write to FILE instead of standard output; FILE is\n"
    "                          removed again when it cannot be written whole\n"
    "  -h, --help              display this help and exit\n"
    "  -V, --version           output version information and exit\n"
    "\n"
    "Check options:\n"
    "  -WNAME, -Wno-NAME       turn the warning NAME on or off (all are on by\n"
    "                          default; NAME is shown in each warning, and\n"
    "                          -Wall, -Wno-all name them all)\n"
    "      --werror            treat warnings as errors (also -Werror)\n"
    "      --format=FORMAT     text (the default), json or sarif (SARIF 2.1.0)\n"
    "      --color[=WHEN]      colour the text: auto (the default: when writing to\n"
    "                          a terminal and NO_COLOR is not set), always, never\n"
    "\n"
    "The listing shows a summary, the constants, the pattern memory (host address,\n"
    "which is twice the slot, value and label) and the program memory, one\n"
    "statement a line: nibble address, the nibbles in address order, label and\n"
    "statement. JCB TARGET 0 is shown as JMP TARGET. A run of 4 or more zero\n"
    "nibbles (2 or more zero pattern words) is shown as one line; the zero nibbles\n"
    "after the last instruction are unused. A constant names an operand only when\n"
    "no other constant has its value.\n"
    "\n"
    "The configuration-tool layout holds whole rows of 4 pattern and 8 program\n"
    "words. Converted to the debug-hardware layout, every word of the rows is\n"
    "written, so that the same memory is loaded; converted the other way, the last\n"
    "rows are filled up with zero words, as qvek does. Content after the images\n"
    "(appended with qvek -a) is reported with its line, byte offset and size. It\n"
    "begins at the first line after the images that is not a whole row (in a\n"
    "debug-hardware file without program words, not the next pattern slot):\n"
    "appended text that itself begins with whole rows cannot be told from the\n"
    "images by any reader, as the layout does not say how many rows there are.\n"
    "\n"
    "An ADDRESS is hexadecimal: 0x1A3, 1a3 or H1A3. A line of standard input is\n"
    "read as an address when it is one word; otherwise its first word beginning 0x\n"
    "is taken (pc=0x1a3 gives 0x1a3), so that a simulation log can be piped\n"
    "through. An address no statement occupies is answered \"unused\", a line\n"
    "without an address, or with one beyond program memory, with a line beginning\n"
    "\"??\"; the lookup goes on. Each answer is flushed at once.\n"
    "\n"
    "--svg reads a file whose first line is \"##\" or \"#\" alone as a load file\n"
    "and shows its used and unused memory; any other file is assembled as a\n"
    "source, and shows the files and names as well.\n"
    "\n"
    "What cannot be read is reported on standard error with its line and the\n"
    "reason. An empty file is refused: a failed assembly leaves its target empty.\n"
    "\n"
    "The modes that read a source assemble it silently as qvek would and print\n"
    "its messages on standard error. A source that does not assemble gets no\n"
    "symbols and a listing up to the line where it failed.\n"
    "\n"
    "--check writes its report to standard output (or FILE) and finds every\n"
    "mistake qvek reports, and more: its exit status is 1 when qvek fails, or on\n"
    "a warning under --werror.\n"
    "\n"
    "Exit status: 0 on success; 1 when a file cannot be read, parsed or written,\n"
    "or the source does not assemble; 2 for a mistake on the command line.\n";

// Long options without a short form.
constexpr int kListingOption = 256;
constexpr int kSymbolsOption = 257;
constexpr int kAddressOption = 258;
constexpr int kPictureOption = 259;
constexpr int kCheckOption = 260;
constexpr int kWerrorOption = 261;
constexpr int kFormatOption = 262;
constexpr int kColourOption = 263;

const option kLongOptions[] = {
    {"listing", no_argument, nullptr, kListingOption},
    {"symbols", optional_argument, nullptr, kSymbolsOption},
    {"addr2line", no_argument, nullptr, kAddressOption},
    {"svg", no_argument, nullptr, kPictureOption},
    {"check", no_argument, nullptr, kCheckOption},
    {"werror", no_argument, nullptr, kWerrorOption},
    {"format", required_argument, nullptr, kFormatOption},
    {"color", optional_argument, nullptr, kColourOption},
    {"colour", optional_argument, nullptr, kColourOption},
    {"asm", no_argument, nullptr, 'S'},
    {"convert", required_argument, nullptr, 'c'},
    {"readmemh", required_argument, nullptr, 'm'},
    {"ihex", required_argument, nullptr, 'x'},
    {"make-deps", no_argument, nullptr, 'M'},
    {"source", required_argument, nullptr, 's'},
    {"target", required_argument, nullptr, 't'},
    {"output", required_argument, nullptr, 'o'},
    {"help", no_argument, nullptr, 'h'},
    {"version", no_argument, nullptr, 'V'},
    {nullptr, 0, nullptr, 0},
};
constexpr char kShortOptions[] = ":Sc:m:x:Ms:t:o:hVW:";  // ':' first: a missing argument returns ':'

int usageError(const char* format, ...) __attribute__((format(printf, 1, 2)));
int usageError(const char* format, ...) {
    va_list args;
    va_start(args, format);
    std::vfprintf(stderr, format, args);
    va_end(args);
    std::fputs(" Try qvekdump --help\n", stderr);
    return -1;
}

int chooseMode(DumpOptions& options, DumpMode mode, const char* option) {
    if (options.modeOption != nullptr && options.mode != mode)
        return usageError("\nERROR:- Options %s and %s cannot be combined.", options.modeOption, option);
    options.mode = mode;
    options.modeOption = option;
    return 0;
}

int readMemory(DumpOptions& options, const char* option, const char* word) {
    if (std::strcmp(word, "program") == 0)
        options.memory = Memory::Program;
    else if (std::strcmp(word, "pattern") == 0)
        options.memory = Memory::Pattern;
    else
        return usageError("\nERROR:- Unknown memory %s for %s: program or pattern.", word, option);
    return 0;
}

int readSymbolFormat(DumpOptions& options, const char* word) {
    if (word == nullptr || std::strcmp(word, "text") == 0)
        options.symbols = SymbolFormat::Text;
    else if (std::strcmp(word, "json") == 0)
        options.symbols = SymbolFormat::Json;
    else
        return usageError("\nERROR:- Unknown format %s for --symbols: text or json.", word);
    return 0;
}

int readLayout(DumpOptions& options, const char* word) {
    if (std::strcmp(word, "debughw") == 0)
        options.layout = DebugHwFormat;
    else if (std::strcmp(word, "configtool") == 0)
        options.layout = ConfigToolFormat;
    else
        return usageError("\nERROR:- Unknown layout %s for --convert: debughw or configtool.", word);
    return 0;
}

// -WNAME, -Wno-NAME, -Werror; a name the engine does not know is a mistake, -Wall names every warning.
int readWarningSwitch(DumpOptions& options, const char* word) {
    if (std::strcmp(word, "error") == 0) {
        options.warningsAsErrors = true;
        return 0;
    }
    const bool enabled = std::strncmp(word, "no-", 3) != 0;
    const char* name = enabled ? word : word + 3;
    bool known = std::strcmp(name, "all") == 0;
    std::string names;  // for the message
    for (const diag::CodeInfo& info : diag::codeTable()) {
        if (info.name[0] == '\0') continue;
        if (std::strcmp(name, "all") == 0) options.switches.push_back({info.name, enabled});
        if (std::strcmp(name, info.name) == 0) known = true;
        names += names.empty() ? "" : ", ";
        names += info.name;
    }
    if (!known) return usageError("\nERROR:- Unknown warning -W%s; the warnings are %s.", word, names.c_str());
    if (std::strcmp(name, "all") != 0) options.switches.push_back({name, enabled});
    return 0;
}

int readReportFormat(DumpOptions& options, const char* word) {
    if (std::strcmp(word, "text") == 0)
        options.format = ReportFormat::Text;
    else if (std::strcmp(word, "json") == 0)
        options.format = ReportFormat::Json;
    else if (std::strcmp(word, "sarif") == 0)
        options.format = ReportFormat::Sarif;
    else
        return usageError("\nERROR:- Unknown format %s for --format: text, json or sarif.", word);
    return 0;
}

int readColour(DumpOptions& options, const char* word) {
    if (word == nullptr || std::strcmp(word, "always") == 0)
        options.colour = ColourChoice::Always;
    else if (std::strcmp(word, "auto") == 0)
        options.colour = ColourChoice::Auto;
    else if (std::strcmp(word, "never") == 0)
        options.colour = ColourChoice::Never;
    else
        return usageError("\nERROR:- Unknown choice %s for --color: auto, always or never.", word);
    return 0;
}

// Every address is checked, and each mistake reported, before the source is assembled: when none is
// good, the mistakes cost no assembly; otherwise the good ones are answered all the same.
int checkAddresses(const DumpOptions& options) {
    bool good = options.addressCount == 0;
    for (int i = 0; i < options.addressCount; i++) {
        const char* word = options.addresses[i];
        uint32_t address;
        switch (readAddress(word, std::strlen(word), address)) {
            case AddressReading::Address: good = true; break;
            case AddressReading::NotANumber:
                usageError("\nERROR:- Address %s is not a number: write it as 0x1A3, 1a3 or H1A3.", word);
                break;
            case AddressReading::Beyond:
                usageError("\nERROR:- Address %s lies beyond program memory (0x000 to 0x%3.3x).", word,
                           kProgramNibbles - 1);
                break;
        }
    }
    return good ? 0 : -1;
}

// Options that only some modes read.
int checkCombination(const DumpOptions& options, bool checkOptions) {
    if (checkOptions && options.mode != DumpMode::Check)
        return usageError("\nERROR:- Options -W, --werror, --format and --color belong to --check.");
    const bool names = options.mode == DumpMode::Listing || options.mode == DumpMode::SourceText;
    if (options.sourceName != nullptr && !names)
        return usageError("\nERROR:- Option --source names things in the listing and with --asm only, not with %s.",
                          options.modeOption);
    if (options.targetName != nullptr && options.mode != DumpMode::MakeDeps)
        return usageError("\nERROR:- Option --target belongs to --make-deps.");
    if (options.targetName == nullptr) return 0;
    // Nothing of the target may be lost or read otherwise by make.
    if (options.targetName[0] == '\0') return usageError("\nERROR:- Option --target needs a file name.");
    if (std::strlen(options.targetName) > kMaxPathLength)
        return usageError("\nERROR:- The target of --target is longer than %u characters.", kMaxPathLength);
    if (!makeCanHold(options.targetName))
        return usageError("\nERROR:- Target %s cannot be written in a make rule.", options.targetName);
    return 0;
}

}  // namespace

bool readsSource(DumpMode mode) {
    return mode == DumpMode::MakeDeps || mode == DumpMode::SourceListing || mode == DumpMode::Symbols ||
           mode == DumpMode::AddressLookup || mode == DumpMode::Check;
}

int parseDumpOptions(int argc, char** argv, DumpOptions& options) {
    opterr = 0;                 // the mistakes are reported here, in this program's words
    optind = 0;                 // 0 starts the scan afresh, even after a parse that stopped inside a word
    bool checkOptions = false;  // an option of --check alone was given
    for (;;) {
        const int c = getopt_long(argc, argv, kShortOptions, kLongOptions, nullptr);
        if (c == -1) break;
        int status = 0;
        switch (c) {
            case 'S': status = chooseMode(options, DumpMode::SourceText, "--asm"); break;
            case 'c':
                status = chooseMode(options, DumpMode::Convert, "--convert");
                if (status == 0) status = readLayout(options, optarg);
                break;
            case 'm':
                status = chooseMode(options, DumpMode::Readmemh, "--readmemh");
                if (status == 0) status = readMemory(options, "--readmemh", optarg);
                break;
            case 'x':
                status = chooseMode(options, DumpMode::IntelHex, "--ihex");
                if (status == 0) status = readMemory(options, "--ihex", optarg);
                break;
            case 'M': status = chooseMode(options, DumpMode::MakeDeps, "--make-deps"); break;
            case kListingOption: status = chooseMode(options, DumpMode::SourceListing, "--listing"); break;
            case kSymbolsOption:
                status = chooseMode(options, DumpMode::Symbols, "--symbols");
                if (status == 0) status = readSymbolFormat(options, optarg);
                break;
            case kAddressOption: status = chooseMode(options, DumpMode::AddressLookup, "--addr2line"); break;
            case kPictureOption: status = chooseMode(options, DumpMode::Picture, "--svg"); break;
            case kCheckOption: status = chooseMode(options, DumpMode::Check, "--check"); break;
            case 'W':
                status = readWarningSwitch(options, optarg);
                checkOptions = true;
                break;
            case kWerrorOption: options.warningsAsErrors = checkOptions = true; break;
            case kFormatOption:
                status = readReportFormat(options, optarg);
                checkOptions = true;
                break;
            case kColourOption:
                status = readColour(options, optarg);
                checkOptions = true;
                break;
            case 's': options.sourceName = optarg; break;
            case 't': options.targetName = optarg; break;
            case 'o': options.outputName = optarg; break;
            case 'h': options.help = true; break;
            case 'V': options.version = true; break;
            case ':': return usageError("\nERROR:- Option %s needs an argument.", argv[optind - 1]);
            default: {
                char word[3] = {'-', static_cast<char>(optopt), '\0'};
                const bool shortOption = optopt > 0 && optopt < kListingOption;
                return usageError("\nERROR:- Unknown option %s.", shortOption ? word : argv[optind - 1]);
            }
        }
        if (status < 0) return -1;
    }
    if (options.help || options.version) return 0;
    const char* what = readsSource(options.mode)           ? "source"
                       : options.mode == DumpMode::Picture ? "source or load file"
                                                           : "load file";
    if (optind >= argc) return usageError("\nERROR:- No %s named.", what);
    options.fileName = argv[optind];
    if (options.mode == DumpMode::AddressLookup) {
        options.addresses = argv + optind + 1;
        options.addressCount = argc - optind - 1;
        if (checkAddresses(options) < 0) return -1;
    } else if (optind + 1 < argc) {
        return usageError("\nERROR:- One %s only: %s and more were named.", what, argv[optind]);
    }
    if (options.modeOption == nullptr) options.modeOption = "the listing";
    return checkCombination(options, checkOptions);
}

void printDumpHelp(FILE* out) { std::fputs(kHelp, out); }

void printDumpVersion(FILE* out) {
    std::fprintf(out, "qvekdump (qvek) %s\nLoad-file inspector of the qvek sequencer assembler.\n", kAssemblerVersion);
}

}  // namespace qvek
