// The check's report written out: for people as compilers write theirs (the
// place, the source line with a caret under the range, the fix-it, the notes),
// and for tools as versioned JSON and as SARIF 2.1.0. Reads a Report and the
// code table only; each writer returns its text (the text one also goes to a stream).
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>

#include "diag/diagnostic.h"

namespace qvek::diag {

constexpr int kReportJsonVersion = 1;  // the JSON report's "version"

/// The report as text, one diagnostic after the other; with ANSI colours when colour is set.
std::string renderText(const Report& report, bool colour);
/// The same text written to a stream a piece at a time; the caller checks the stream for errors.
void writeText(const Report& report, bool colour, FILE* out);
/// The report as the JSON document of docs/diagnostics-json.md.
std::string renderJson(const Report& report);
/// The report as a SARIF 2.1.0 log; file names are made relative to workingDirectory where they lie within it.
std::string renderSarif(const Report& report, const std::string& workingDirectory);
/// The word of a level: "error", "warning" or "note".
const char* levelName(Level level);
/// Bytes made fit for a terminal: tabs kept, control bytes as <U+0001>, invalid UTF-8 as <FF>.
std::string visible(std::string_view bytes);
/// Bytes as UTF-8 for JSON: valid UTF-8 kept, every other byte taken as the character of its number.
std::string utf8Of(std::string_view bytes);
/// The length of the valid UTF-8 sequence at text[i]; 0 when no valid sequence starts there.
size_t utf8SequenceLength(std::string_view text, size_t i);
/// The characters (UTF-16 code units) in the first bytes of a line, read as utf8Of reads it.
uint32_t utf16UnitsOf(std::string_view line, size_t bytes);

}  // namespace qvek::diag
