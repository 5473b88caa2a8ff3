// The source line reader: the only place source bytes are read. It strips
// comments, carriage returns and form feeds, collapses blanks, upper-cases,
// counts lines and keeps the digest of the lines it delivers. Writes
// currentLine and linesDigest of AsmState.
#pragma once

#include <cstdio>

#include "core/asm_state.h"

namespace qvek {

enum ReadResult : int {
    LineRead = 0,       // a normalised line is in the buffer
    EndOfFile = -1,     // the file has no further statement line
    LineTooLong = -2,   // line currentLine is longer than kMaxLineLength once normalised
    ReadFailed = -3,    // the stream reported an error (a directory, an I/O fault)
    ZeroByte = -4,      // line currentLine holds a 0x00 byte outside a comment
    TooManyLines = -5,  // the file goes on past line kMaxLineCount, where currentLine stays
};

/// Delivers the next non-empty normalised line into a kLineBufferSize buffer and folds it into linesDigest;
/// the bytes past its terminator are scratch.
ReadResult readSourceLine(AsmState& st, char* line, FILE* stream);

}  // namespace qvek
