// Program addresses back to the source: an address read as people write one
// (0x1A3, 1a3, H1A3), found in a line of a simulation log, and answered with
// the file, line, nearest label and statement of the nibble. Owns
// AddressLookup; reads AsmState and the assembly's record only.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>

#include "core/asm_state.h"
#include "inspect/disassembler.h"
#include "inspect/record.h"

namespace qvek {

// Bytes of a log line searched for an address; the rest is passed over, and a
// word it cuts is never read as an address.
constexpr size_t kLogLineSize = 1u << 20;

enum class AddressReading : uint8_t {
    Address,     // a program address
    NotANumber,  // not hexadecimal digits after an optional prefix; for a log line: no address in it
    Beyond,      // a number past the last nibble of program memory
};

// Where a log line names an address: the word and what it reads as.
struct LogAddress {
    AddressReading reading = AddressReading::NotANumber;
    uint32_t address = 0;        // for Address
    const char* word = nullptr;  // the word in the line, for Address and Beyond
    size_t length = 0;           // its length
};

// A finished assembly, indexed for lookups.
struct AddressLookup {
    const AsmState* st = nullptr;          // the assembly's tables and program image
    const Record* record = nullptr;        // which statement occupies each nibble
    Names names;                           // the labels lookups use: the first of each name
    int16_t labelBefore[kProgramNibbles];  // the nearest such label at or before each nibble, -1 for none
};

/// Indexes a finished assembly and its record for lookups.
void prepareLookup(AddressLookup& lookup, const AsmState& st, const Record& record);
/// Writes the answer line for a program address: file and line, nearest label, statement.
void answerAddress(const AddressLookup& lookup, uint32_t address, FILE* out);
/// Answers each line of in as it arrives, one line of out each, flushed; returns 0, or -1 when in fails.
int answerLog(const AddressLookup& lookup, FILE* in, FILE* out);

/// Reads a word of length bytes as a program address: hexadecimal digits after an optional 0x, H or X.
AddressReading readAddress(const char* word, size_t length, uint32_t& address);
/// Finds the address of a log line: the whole line when it is one word, else its first word beginning 0x;
/// a line cut short after length bytes is no one word, and its last word, if cut, is passed over.
LogAddress findLogAddress(const char* line, size_t length, bool cut = false);

}  // namespace qvek
