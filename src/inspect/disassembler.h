// Program memory back to statements: every instruction decoded with the one
// instruction-format table of core/keywords.h, zero nibbles gathered into
// runs, and operands named from a source's tables when one is given.
// Owns Disassembly and Names; reads AsmState only.
#pragma once

#include <cstddef>
#include <cstdint>

#include "core/asm_state.h"
#include "core/keywords.h"

namespace qvek {

constexpr uint32_t kMinZeroRun = 4;                          // shorter runs of zero nibbles are shown as NOPs
constexpr uint32_t kMaxInstructionSize = 5;                  // JCB and JMP
constexpr size_t kStatementTextSize = 3 * kTokenBufferSize;  // word and two operands, names included

struct Instruction {
    const Keyword* keyword = nullptr;           // the statement word; JMP for a JCB whose condition is 0
    const InstructionFormat* format = nullptr;  // its entry of kFormats
    uint32_t fieldValues[2] = {};               // the value of each field, in the format's order
};

enum class ItemKind : uint8_t { Instruction, ZeroRun };

struct ProgramItem {
    ItemKind kind = ItemKind::ZeroRun;
    uint32_t address = 0;     // first nibble
    uint32_t size = 0;        // nibbles it covers
    Instruction instruction;  // for kind Instruction
};

struct Disassembly {
    uint32_t end = 0;      // nibbles the image holds (4 per word); items cover them all
    uint32_t usedEnd = 0;  // after the last instruction that is not a NOP: the zero nibbles from here are unused
    uint32_t count = 0;    // used entries of items
    ProgramItem items[kProgramNibbles];  // in address order; the last may run past end
};

// A source's tables, indexed for naming addresses, slots and values.
struct Names {
    const AsmState* st = nullptr;           // the source's tables; null names nothing
    uint32_t patternSlots = 0;              // pattern labels name only slots below this
    int16_t firstLabel[kProgramNibbles];    // first label entry naming each address, -1 for none
    int16_t nextLabel[kMaxProgramLabels];   // the next entry naming the same address, -1 for none
    bool firstDefinition[kMaxDefinitions];  // the entry is the first definition of its '#' name
    const Disassembly* program = nullptr;   // program labels name only addresses where an item starts
};

/// Indexes a source's tables (st may be null: then nothing is named).
void prepareNames(Names& names, const AsmState* st, uint32_t patternSlots);
/// Returns the first label entry naming address (only first definitions of a name count), or -1.
int labelAt(const Names& names, uint32_t address);
/// Returns the next label entry naming the same address as entry label, or -1.
int nextLabelAt(const Names& names, int label);

/// Decodes the instruction at address; the nibbles up to address + 4 must be readable.
Instruction decodeInstruction(const uint8_t* image, uint32_t address);
/// Splits the first `end` nibbles into instructions and zero runs; a run also ends where a label names a nibble.
void disassemble(const uint8_t* image, uint32_t end, const Names& names, Disassembly& out);
/// Tells whether an item of the disassembly starts at address.
bool itemStartsAt(const Disassembly& program, uint32_t address);

/// Writes the statement word and operands of an instruction as source text, names where names has them.
void statementText(const Instruction& instruction, const Names& names, char (&text)[kStatementTextSize]);
/// Writes a value as a source number: "H" and digits hexadecimal digits.
void numberText(uint32_t value, uint32_t digits, char* text, size_t size);
/// Returns the one '#' constant whose value is value, or -1 when none or several have it.
int constantNamed(const Names& names, uint32_t value);
/// Returns the '#' label of a pattern slot the load file holds when it is that label's first slot, or null.
const char* patternLabelOf(const Names& names, uint32_t slot);

}  // namespace qvek
