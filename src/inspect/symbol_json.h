// The symbol and line map of an assembled source for debuggers, simulators and
// scripts: one JSON object whose keys stay as they are under "version": 1
// (docs/symbols-json.md), its statements written one by one as pass 2 places
// them. Reads the finished AsmState and its Record; writes only to its stream.
#pragma once

#include <cstdint>
#include <cstdio>

#include "core/asm_state.h"
#include "core/observer.h"
#include "inspect/record.h"

namespace qvek {

constexpr int kSymbolMapVersion = 1;  // the JSON map's "version"

// Where the statements of the JSON map go, and how many have gone.
struct JsonStatements {
    FILE* out;
    uint32_t written = 0;
};

/// Writes the JSON map up to the opening of its "statements" array.
void beginSymbolJson(const AsmState& st, const Record& record, const char* sourceName, FILE* out);
/// Writes each statement pass 2 places in program memory into "statements" (an Observer of a JsonStatements).
void observeJsonStatements(void* statements, const AsmState& st, const AsmEvent& event);
/// Closes "statements" and the map.
void endSymbolJson(const JsonStatements& statements);

}  // namespace qvek
