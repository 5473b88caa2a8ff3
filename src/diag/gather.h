// What the check gathers from one assembly's events, for the diagnostics made
// from it afterwards: the files and their lines, the statements of pass 1 and
// where they landed, the names entered and used, and every message. Owns
// Gathered and the observer that fills it; the engine's other parts only read it.
#pragma once

#include <bitset>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "core/asm_state.h"
#include "core/observer.h"
#include "diag/codes.h"
#include "diag/diagnostic.h"

namespace qvek::diag {

// The largest file whose lines a check keeps: far beyond any source the assembler accepts.
constexpr size_t kMaxKeptFileSize = 64u << 20;
// The messages a check gathers before it stops going on past errors.
constexpr size_t kMaxMessages = 10000;
constexpr int16_t kWholeLine = -1;  // Place::token: no token, the line as a whole

// A token of a line: the n-th the reader delivers (source/token_spans.h).
struct Place {
    uint32_t file = 0;
    int32_t line = 0;               // 0 = the file as a whole
    int16_t token = kWholeLine;
    uint32_t ordinal = 0;           // the statement line it belongs to, counted in reading order from 1
};

// A statement line of pass 1.
struct StatementInfo {
    Place place;              // its word's token
    StatementCode code;
    uint32_t address;         // programCounter when it began
    uint32_t size;            // nibbles it occupies; 0 for directives and unknown words
};

// A name entered in a table; the name itself is read from the table when needed.
struct NameDefinition {
    OperandKind table;
    uint32_t entry;           // the table's entry (a slot for pattern labels)
    Place place;
};

// A numeric operand kept for the warnings: an LPP slot or a jump target.
struct NumericOperand {
    Place place;
    StatementCode code;
    uint32_t value;           // as the field holds it
};

// A token read as a number though characters of it are no digits, which the assembler passes over silently.
struct MalformedNumber {
    Place place;
    OperandKind table;        // where a '#' name of the same letters would be looked up
    std::string token;
};

struct RawMessage {
    uint8_t pass;
    Severity severity;
    Code code;
    std::string text;         // as printed, its leading line break included
    Place place;              // token left to the conversion
};

// A file's bytes as the check read them once, for both passes and for its lines.
struct FileText {
    std::shared_ptr<std::string> bytes = std::make_shared<std::string>();  // shared with the file's lines
    const char* refused = nullptr;  // the kind of file ("a pipe", "a device") not opened, or null
    bool missing = false;           // it could not be opened
    bool whole = false;             // bytes holds the file to its end, read without a fault
};

struct Gathered {
    Report& report;
    const CheckOptions& options;
    const AsmState* st = nullptr;  // the assembly's tables, read while the check makes its diagnostics
    Gathered(Report& r, const CheckOptions& o);

    std::unordered_map<std::string, uint32_t> fileIndex;  // by name as the passes opened it
    std::unordered_map<std::string, FileText> texts;      // by name as the passes opened it
    uint32_t openFiles[kMaxIncludeFiles] = {};            // [depth]: the file read there now
    uint32_t statements[3] = {};                          // [pass]: statement lines told of so far
    std::vector<StatementInfo> program;                   // pass 1's statements that take room
    std::vector<NameDefinition> definitions;              // in the order entered
    std::vector<int32_t> definitionOf[3];                 // [table][entry]: the live definition, or -1
    std::vector<uint8_t> used[3];                         // [table][entry]: 1 when some operand found it
    std::vector<NumericOperand> numeric;                  // LPP slots and jump targets given as numbers
    std::vector<MalformedNumber> malformed;               // in reading order
    std::bitset<kPatternSlots> filledSlots;               // slots a PAT stored a word in
    std::vector<RawMessage> messages;                     // in the order counted
    std::vector<uint32_t> repeatable;                     // pass 1's messages that pass 2 would give again
    bool stopped = false;                                 // a failure past which nothing can be read
    bool includeFailed = false;                           // an INC file was not read
    mutable uint32_t nameSearches = 0;                    // tables searched for names near undefined ones
};

/// The name a definition entered, as its table holds it now.
const char* nameOf(const Gathered& g, const NameDefinition& d);
/// Tells whether a definition still holds its entry: a PAT stored at its slot later takes the slot over.
bool live(const Gathered& g, uint32_t definition);
/// The live definition that a lookup of a name in a table finds, or -1.
int32_t definitionFound(const Gathered& g, OperandKind table, const char* name);
/// Tells whether a number token reads whole: a base prefix or a leading digit, then only digits of its base.
/// Tokens the assembler itself warns about (no prefix, no digit) count as whole here.
bool readsWhole(const char* token);
/// The observer of a check: gathers an event, then hands it on to CheckOptions::next.
void gatherEvent(void* gathered, const AsmState& st, const AsmEvent& event);
/// The resumer of a check: goes on after a failure unless it was one past which nothing can be read.
bool goOn(void* gathered, const AsmState& st);
/// The code of an assembler message, from its words.
Code codeOfMessage(Severity severity, const char* text);
/// Tells whether a code ends what can be read: the tables, the memory or the file itself failed.
bool endsReading(Code code);
/// The opener of a check: each file read once, both passes served the same bytes; a file that could not be
/// read whole is opened afresh, so that the passes meet the fault as the assembler does.
FILE* openForCheck(void* gathered, const char* name);
/// What openForCheck refuses to open ("a pipe", "a device"), as the passes ask before opening; null: nothing.
const char* refusedForCheck(void* gathered, const char* name);
/// Fills a file's lines as the assembler numbers them (split at line feeds, a carriage return before one
/// dropped), from the bytes the check read or, where it could not, from the file itself.
void fillLines(Gathered& g, const char* name, CheckedFile& file);

}  // namespace qvek::diag
