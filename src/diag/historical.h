// The assembler's own messages turned into diagnostics: each message's code,
// the token it is about, and plain words naming the word, the name or the value
// at fault; the historical words are kept beside them. Writes only the
// Collector it is given.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "diag/collector.h"
#include "diag/gather.h"

namespace qvek::diag {

/// Orders a place: by its statement line, then by phase (0 = pass 1, 1 = pass 2, 2 = the engine's own).
uint64_t orderOf(const Place& place, uint32_t phase);
/// The byte range of a place's token in its file, or the whole line (firstColumn 0) when there is none.
Range rangeOf(const Report& report, const Place& place);
/// The token of a place as typed (dropped bytes left out), upper-cased as the reader stores it.
std::string tokenText(const Report& report, const Place& place);
/// The token index of the statement word on a line (1 after a label), or 0.
int16_t wordToken(const Report& report, uint32_t file, int32_t line);
/// Makes a diagnostic of a code at a place with plain words.
Diagnostic makeDiagnostic(const Report& report, Code code, const Place& place, std::string message);
/// One group per assembler message, each with its plain words and the hints for it.
void convertMessages(const Gathered& g, Collector& c);

}  // namespace qvek::diag
