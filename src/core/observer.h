// The observer of an assembly: what the passes, the include stack and the
// message procedures tell the one optional hook on AsmState (files entered and
// left, every statement line with the names it enters and looks up, what DEF,
// PAT and ORG did, every message). Owns AsmEvent; writes nothing in AsmState.
#pragma once

#include <cstdint>

#include "core/asm_state.h"
#include "core/keywords.h"

namespace qvek {

// A message as printed: two paths (the file read and a name in it) and the words around them.
constexpr uint32_t kMessageTextSize = 2 * kPathBufferSize + 512;
constexpr uint32_t kMaxNameUses = kMaxOperands + 1;  // a label and every operand token
constexpr int32_t kUnresolved = -1;                  // NameUse::entry: looked up and not found
constexpr int32_t kNotLookedUp = -2;                 // NameUse::entry: this pass does not look the name up

enum class EventKind : uint8_t {
    FileEntered,  // a pass starts reading a file; the main source comes at depth 0
    FileLeft,     // a pass stops reading a file, at its end or after a failure
    Statement,    // a statement line has been carried out, or failed (then the pass ends, unless resumed)
    Constant,     // DEF entered a constant (pass 1)
    PatternWord,  // PAT stored a word (pass 1)
    Origin,       // ORG moved an origin or ignored its address (pass 1)
    Message,      // a warning or an error was counted, printed or not
};

enum class Severity : uint8_t { Warning, Error };
enum class Segment : uint8_t { Program, Pattern, Other };  // the memory an ORG names

// One '#' name of a statement (or any label or DEF name, which are entered as written).
struct NameUse {
    uint8_t operand;    // 0 for the line's label, else the operand token number
    OperandKind table;  // the table it is entered in or looked up in
    bool defines;       // the statement enters the name rather than looking it up
    int32_t entry;      // the entry entered or found, kUnresolved, or kNotLookedUp
};

struct StatementEvent {
    const char* label;                       // "#LABEL" on a label line, else empty
    const char* word;                        // the statement word, possibly empty
    const char* operands[kMaxOperands + 1];  // operand tokens 1 to 16 as this pass split them
                                             // (pass 2 takes two), empty beyond; [0] = word
    StatementCode code;                      // the word's code; NotAStatement when shorter than 3
    uint32_t address;                        // programCounter when the line began
    uint32_t size;                           // nibbles an instruction takes from address; 0 otherwise
    uint8_t written;                         // bit k: this pass wrote nibble address + k
    bool completed;                          // false: the line failed; the pass ends here unless resumed
    uint32_t nameCount;                      // used entries of names
    const NameUse* names;                    // in operand order, the label first
};

struct ConstantEvent {
    uint32_t entry;  // definitions entry
    uint32_t value;  // its 32-bit value
};

struct PatternEvent {
    uint32_t slot;   // the slot stored; its host address is twice the slot
    uint32_t value;  // the word now in it
    bool labelled;   // the word has a label
};

struct OriginEvent {
    Segment segment;  // what operand 1 named
    bool ignored;     // the address was refused or undefined: the origin did not move
    uint32_t origin;  // the origin in force afterwards: a nibble address, or a pattern slot
};

struct MessageEvent {
    Severity severity;
    const char* text;  // exactly as printed, its leading line break included
};

// One event. The file and line are those messages print: includeNames[0] and
// currentLine (the line just read; 0 when a file is entered). Only the part
// its kind names is filled in.
struct AsmEvent {
    EventKind kind;
    uint8_t pass;      // 1 or 2; 0 outside the passes
    const char* file;  // the file being read
    int32_t line;      // the line within it
    uint32_t depth;    // includeDepth: includeNames[depth] is the main source
    bool completed;    // FileLeft: the file was read to its end
    StatementEvent statement;
    ConstantEvent constant;
    PatternEvent pattern;
    OriginEvent origin;
    MessageEvent message;
};

/// Starts an event of a kind at the state's file, line, depth and pass.
AsmEvent eventAt(const AsmState& st, EventKind kind);
/// Hands an event to the observer (which the caller has checked is set).
inline void notify(const AsmState& st, const AsmEvent& event) { st.observer(st.observerContext, st, event); }

}  // namespace qvek
