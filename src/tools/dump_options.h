// The inspector's command line: GNU-style short and long options, one file
// name, the help and version texts. Owns DumpOptions; touches no AsmState.
#pragma once

#include <cstdio>

#include "core/asm_state.h"
#include "inspect/exports.h"
#include "inspect/symbol_map.h"

namespace qvek {

enum class DumpMode : uint8_t {
    Listing,
    SourceText,
    Convert,
    Readmemh,
    IntelHex,
    MakeDeps,
    SourceListing,
    Symbols,
    AddressLookup,
    Picture,
};

constexpr int kUsageStatus = 2;  // exit status of a mistake on the command line

struct DumpOptions {
    DumpMode mode = DumpMode::Listing;
    const char* modeOption = nullptr;           // the option that chose the mode, for messages
    OutputFormat layout = ConfigToolFormat;     // --convert
    Memory memory = Memory::Program;            // --readmemh, --ihex
    SymbolFormat symbols = SymbolFormat::Text;  // --symbols
    const char* sourceName = nullptr;           // --source
    const char* targetName = nullptr;           // --target
    const char* outputName = nullptr;           // --output; null = standard output
    const char* fileName = nullptr;             // the load file, or the source of the modes that assemble one
    char** addresses = nullptr;                 // --addr2line: the address words after the source
    int addressCount = 0;                       // how many; none: read from standard input
    bool help = false;                          // --help
    bool version = false;                       // --version
};

/// Tells whether a mode reads a source rather than a load file.
bool readsSource(DumpMode mode);
/// Reads the command line; returns 0, or -1 after printing the mistake on standard error.
int parseDumpOptions(int argc, char** argv, DumpOptions& options);
/// Prints the help text.
void printDumpHelp(FILE* out);
/// Prints the version text.
void printDumpVersion(FILE* out);

}  // namespace qvek
