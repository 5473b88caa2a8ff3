// The names of an assembled source, one row per table entry with where it was
// defined, and the table of them for people: kind, name, value or address,
// sorted by kind and then value (the JSON map for tools, in symbol_json.h,
// reads the same rows). Reads the finished AsmState and its Record only.
#pragma once

#include <cstdint>
#include <cstdio>
#include <vector>

#include "core/asm_state.h"
#include "core/observer.h"
#include "inspect/record.h"

namespace qvek {

enum class SymbolFormat : uint8_t { Text, Json };

enum class SymbolKind : uint8_t { Label, Constant, Pattern };  // in the order the table lists them

// One entry of a name table.
struct SymbolRow {
    SymbolKind kind;
    uint32_t value;  // address, value or host address
    uint32_t entry;  // the table entry: the pattern slot of a pattern label
    const char* name;
    Site site;
    bool used;  // lookups of the name find this entry
};

/// The entries of the three tables in table order; every entry, or only the named ones.
std::vector<SymbolRow> symbolRows(const AsmState& st, const Record& record, bool everyEntry);
/// Writes the table of names: labels, constants, pattern labels, each kind sorted by value.
void writeSymbolTable(const AsmState& st, const Record& record, FILE* out);

}  // namespace qvek
