// Hints for the assembler's messages, each a note with its code: the nearest
// statement word to an unknown one, the nearest defined name to an undefined
// one (or where the name is defined after all), the '#' name a bare token was
// meant to be, and the file an INC name misses only by its case.
// Writes only the Collector it is given, each note into the group opened last.
#pragma once

#include <string>

#include "core/keywords.h"
#include "diag/historical.h"

namespace qvek::diag {

/// Bounded edit distance (adjacent swaps count one): the distance, or limit + 1 when it is more than limit.
uint32_t editDistance(const std::string& a, const std::string& b, uint32_t limit);
/// After an unknown statement word: the nearest statement word, with its fix-it when only one is nearest.
void hintWord(const Gathered& g, const Place& at, const std::string& word, Collector& c);
/// After an undefined name: a later definition, one in another table, or the nearest name of its table.
void hintName(const Gathered& g, const Place& at, OperandKind table, const std::string& name, Collector& c);
/// After a token read as a number: the '#' name of its table it was meant to be, when one is defined.
void hintMissingHash(const Gathered& g, const Place& at, OperandKind table, const std::string& token, Collector& c);
/// After an INC file that could not be opened: a file in its folder whose name differs only in case.
void hintIncludeCase(const Gathered& g, const Place& at, const std::string& name, Collector& c);

}  // namespace qvek::diag
