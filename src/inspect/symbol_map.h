// The symbol and line map of an assembled source. For people: one row per
// name (kind, name, value or address, where it was defined), sorted by kind
// and then value. For debuggers, simulators and scripts: one JSON object,
// whose keys stay as they are under "version": 1 (docs/symbols-json.md); its
// statements are written one by one as pass 2 places them. Reads the finished
// AsmState and its Record only.
#pragma once

#include <cstdint>
#include <cstdio>

#include "core/asm_state.h"
#include "core/observer.h"
#include "inspect/record.h"

namespace qvek {

constexpr int kSymbolMapVersion = 1;  // the JSON map's "version"

enum class SymbolFormat : uint8_t { Text, Json };

// Where the statements of the JSON map go, and how many have gone.
struct JsonStatements {
    FILE* out;
    uint32_t written = 0;
};

/// Writes the table of names: labels, constants, pattern labels, each kind sorted by value.
void writeSymbolTable(const AsmState& st, const Record& record, FILE* out);
/// Writes the JSON map up to the opening of its "statements" array.
void beginSymbolJson(const AsmState& st, const Record& record, const char* sourceName, FILE* out);
/// Writes each statement pass 2 places in program memory into "statements" (an Observer of a JsonStatements).
void observeJsonStatements(void* statements, const AsmState& st, const AsmEvent& event);
/// Closes "statements" and the map.
void endSymbolJson(const JsonStatements& statements);
/// Writes text as a JSON string; a byte from 0x80 up is written as the character of that number (Latin-1).
void writeJsonString(FILE* out, const char* text);

}  // namespace qvek
