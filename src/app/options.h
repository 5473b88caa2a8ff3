// The command line: which words are options and which name the source and the
// target, the option letters, and the usage text. Writes outputFormat,
// dumpListing, silent, appendFileName and warningCount of AsmState.
#pragma once

#include "core/asm_state.h"

namespace qvek {

// The two names the command line gives, exactly as written.
struct CommandLine {
    const char* sourceName = nullptr;  // null when the words named no source
    const char* targetName = nullptr;  // null when the words named no target
};

/// Applies the letters of one option word.
void parseOption(AsmState& st, const char* word);
/// Prints the usage text to the console, whatever silent holds.
void printUsage(const AsmState& st);
/// Walks the argument words after the program name; returns 0 when both names were found, -1 otherwise.
int walkCommandLine(AsmState& st, int count, const char* const* words, CommandLine& names);

}  // namespace qvek
