// What a check of a source finds: diagnostics with a severity, a stable code,
// plain words, the range of the token at fault, related places and fix-its.
// Owns Diagnostic, Report and CheckOptions; the engine (diag/engine.h) fills a
// Report, the front ends (text, JSON, SARIF, the language server) only read it.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "core/asm_state.h"

namespace qvek::diag {

enum class Level : uint8_t { Error, Warning, Note };

// A stretch of one line: columns count bytes of the line as it stands in the
// file, from 1, last column included. A range with firstColumn 0 covers no
// token (the whole line is meant).
struct Range {
    uint32_t file = 0;         // index into Report::files
    int32_t line = 0;          // from 1, as the assembler's messages count lines; 0 = the file as a whole
    uint32_t firstColumn = 0;  // from 1; 0 = no column known
    uint32_t lastColumn = 0;   // >= firstColumn when firstColumn > 0
};

// Another place a diagnostic points at (a first definition, the statement
// whose nibbles were overwritten, an INC line a file was read through).
struct Related {
    Range range;
    std::string message;
};

// A replacement of a range's text, certain enough to apply without asking.
struct FixIt {
    Range range;
    std::string replacement;
};

struct Diagnostic {
    Level level = Level::Error;
    std::string code;              // stable, documented, never reused: "Q" and four digits
    std::string name;              // the switch of a warning the assembler does not give (-W<name>); else empty
    std::string message;           // plain words naming the thing at fault
    std::string historical;        // the assembler's own message for this, without its line break; may be empty
    Range range;                   // primary place
    std::vector<Related> related;  // in the order a reader wants them
    std::vector<FixIt> fixes;      // empty when no fix is certain enough
    bool unnecessary = false;      // about a name defined and never used (editors fade it)
};

// One file the check read, named as the assembler named it.
struct CheckedFile {
    std::string name;                     // as the passes opened it: the main source as given, INC names upper case
    std::vector<std::string_view> lines;  // the file's lines as the assembler numbers them, line ends dropped;
                                          // fewer than a range's line when the file could not be read whole
    int32_t includedFrom = -1;            // index of the file whose INC read it first; -1 for the main source
    int32_t includeLine = 0;              // that INC's line
    uint32_t includeColumn = 0;           // the column of the name in that INC line
    std::shared_ptr<const std::string> text = nullptr;  // the bytes lines lie in, when the check read them
};

struct Report {
    std::vector<CheckedFile> files;          // [0] = main source
    std::vector<Diagnostic> diagnostics;     // in source reading order
    uint32_t errors = 0;                     // diagnostics at Level::Error (warnings under werror included)
    uint32_t warnings = 0;                   // diagnostics at Level::Warning
    bool assemblerFails = false;             // qvek would report an error for this source
};

// The warnings of the engine's own, each switched by name; defaults on.
struct WarningSwitch {
    std::string name;  // as in -W<name> and -Wno-<name>
    bool enabled = true;
};

struct CheckOptions {
    std::vector<WarningSwitch> switches;  // empty = every warning at its default
    bool warningsAsErrors = false;        // --werror
    Opener opener = nullptr;              // as AsmState::opener: null = from disk by name
    void* openerContext = nullptr;
    OpenerRefusal openerRefuses = nullptr;  // with an opener: what it refuses, as AsmState::openerRefuses
    Observer next = nullptr;              // also told every event of the check's assembly (the language server's model)
    void* nextContext = nullptr;
};

}  // namespace qvek::diag
