// The diagnostics engine: assembles a source as qvek would, silently, going on
// past errors where the rest can still be read, and turns the passes' record
// into diagnostics with hints and the warnings the assembler does not give.
// Writes only the Report it returns.
#pragma once

#include <string>
#include <vector>

#include "diag/diagnostic.h"

namespace qvek::diag {

// Describes one diagnostic code: what raises it (for the docs, SARIF rules and --help).
struct CodeInfo {
    const char* code;     // "Q" and four digits
    const char* name;     // the -W switch name of an engine warning; "" for the assembler's own
    Level level;          // its default level
    const char* summary;  // one line of plain words
};

/// Every code the engine can give, in code order: the one table of them.
const std::vector<CodeInfo>& codeTable();
/// Checks a source (named as qvek would be given it) and returns every diagnostic.
Report check(const char* sourceName, const CheckOptions& options);

}  // namespace qvek::diag
