// What both passes share to read a statement: the next line with its faults
// reported, the split into label, statement word and operand tokens, and the
// opening of an INC file. Writes errorCount and, through the reader and the
// include stack, linesDigest, includeNames, savedLines, includeDepth and currentLine;
// lastRegularInclude as INC files open.
#pragma once

#include <cstdio>

#include "core/asm_state.h"

namespace qvek {

// The buffer of each source stream: a few large reads in place of many small ones.
// Builds for fuzzing read through small ones, so that their inputs of a few
// kilobytes cross refills.
#if defined(QVEK_SMALL_STREAM_BUFFERS)
constexpr uint32_t kStreamBufferSize = 4 * 1024;
#else
constexpr uint32_t kStreamBufferSize = 32 * 1024;
#endif

// Bytes past a line's terminator that the splitter may read, and the line buffer with them.
constexpr uint32_t kLineSlack = 16;
constexpr uint32_t kLineSpace = kLineBufferSize + kLineSlack;

// The tokens of a line, each a string within the line itself; a field without
// a token is empty. They last until the next line is read into the buffer.
struct Statement {
    const char* label = "";                  // "#LABEL" on a label line, else empty
    const char* word = "";                   // the statement word
    const char* operands[kMaxOperands + 1];  // operand tokens 1 to 16; [0] unused
    uint8_t wordLength = 0;                  // characters of word
    uint8_t operandLengths[kMaxOperands + 1] = {};  // characters of each operand token split
    uint32_t operandCount = 0;               // operand tokens split so far: the fields beyond are empty
    char* rest = nullptr;                    // the line past the last token taken
    bool hasLabel = false;                   // the line began with '#'
    int32_t labelEntry = -1;                 // pass 1 only: the programLabels entry of the label, or -1
    int32_t filled = -1;                     // pass 1 only: the entry DEF or the slot PAT filled, or -1
    Statement() {
        for (const char*& operand : operands) operand = "";
    }
};

// The statement loop of one pass over one file, given its line buffer and statement.
using StatementLoop = int (*)(AsmState& st, FILE* stream, char* line, Statement& s);

/// Runs a pass's loop over an open file with fresh line buffers, then closes the
/// file, releases the buffers and leaves the file's include level, whatever happened.
int readFile(AsmState& st, FILE* stream, StatementLoop loop);
/// Reads the next line; returns 1 for a line, 0 at the end of the file, -1 after reporting a fault.
int nextSourceLine(AsmState& st, char* line, FILE* stream);
/// Splits a normalised line, kLineSlack readable bytes behind it, where it stands, ending each token
/// taken with a zero byte, at most `operands` operand tokens (a label line at most `labelOperands`);
/// returns 0, or -1 after reporting a token over 80 characters.
int splitStatement(AsmState& st, char* line, Statement& s, uint32_t operands, uint32_t labelOperands);
/// Splits only the label and the statement word, as splitStatement does; the operands wait for splitOperands.
int splitHead(AsmState& st, char* line, Statement& s);
/// Splits the line's further operand tokens up to operand `last`; returns 0, or -1 as splitStatement does.
int splitOperands(AsmState& st, Statement& s, uint32_t last);
/// Tells whether a split line's word is shorter than three characters, as no statement word is.
inline bool isShortWord(const Statement& s) { return s.wordLength < 3; }
/// After a failed statement that began at start: asks st.resume whether the pass goes on and, if so, gives
/// the statement its room; false when the pass ends here. Only the failure path calls it.
bool goesOnAfterFailure(AsmState& st, const Statement& s, uint32_t start);
/// Opens an INC file and enters its include level; returns 0, or -1 after reporting why not.
int openInclude(AsmState& st, const char* name, FILE** stream);
/// Tells whether an open stream is the target file the run is writing.
bool isTargetFile(const AsmState& st, FILE* stream);

}  // namespace qvek
