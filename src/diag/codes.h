// The diagnostic codes: one list gives the engine's Code values and the table
// codeTable() returns (code, switch name, default level, summary). A code once
// given is never reused; a new one takes the next number of its group:
// Q1xxx the assembler's errors, Q2xxx its warnings, Q3xxx the engine's own
// warnings, Q4xxx notes with hints. Writes nothing.
#pragma once

#include <cstdint>

#include "diag/engine.h"

namespace qvek::diag {

// enumerator, code, switch name ("" for none), level, summary
#define QVEK_DIAG_CODES(X)                                                                                            \
    X(UndefinedJumpLabel, "Q1001", "", Error, "a jump target names a program label that no line defines")            \
    X(UndefinedConstant, "Q1002", "", Error, "an operand names a constant that no DEF before it defines")            \
    X(UndefinedPatternLabel, "Q1003", "", Error, "LPP names a pattern label that no PAT defines")                    \
    X(OperandMissing, "Q1004", "", Error, "an instruction lacks an operand its format needs")                         \
    X(TokenTooLong, "Q1005", "", Error, "a token is longer than 80 characters")                                      \
    X(LineTooLong, "Q1006", "", Error, "a line holds more than 120 characters before its comment")                   \
    X(ZeroByte, "Q1007", "", Error, "a line holds a zero byte")                                                      \
    X(TooManyLines, "Q1008", "", Error, "a file goes on past the last line a line number can count")                 \
    X(ReadFailed, "Q1009", "", Error, "a file could not be read to its end")                                         \
    X(IncludeNotFound, "Q1010", "", Error, "an INC file could not be opened")                                        \
    X(IncludeNotPlain, "Q1011", "", Error, "an INC file is a pipe, a device or a socket")                             \
    X(IncludeTooDeep, "Q1012", "", Error, "INC files nest more than 15 deep")                                        \
    X(IncludeIsTarget, "Q1013", "", Error, "an INC file is the load file being written")                             \
    X(PatternAddressBeyond, "Q1014", "", Error, "a PAT address lies beyond pattern memory")                          \
    X(LabelTableFull, "Q1015", "", Error, "more program labels than the table holds")                                \
    X(ConstantTableFull, "Q1016", "", Error, "more constants than the table holds")                                  \
    X(PatternMemoryFull, "Q1017", "", Error, "PAT finds no free slot in pattern memory")                             \
    X(ProgramMemoryFull, "Q1018", "", Error, "the program runs past the end of program memory")                      \
    X(AddressOutside, "Q1019", "", Error, "an instruction's field lies outside program memory")                      \
    X(SourceChanged, "Q1020", "", Error, "the source read differently on the second pass")                           \
    X(SourceUnreadable, "Q1021", "", Error, "the source file cannot be opened or read twice")                        \
    X(OutOfMemory, "Q1022", "", Error, "no memory for a file's line buffers")                                        \
    X(OtherError, "Q1099", "", Error, "another error of the assembler")                                              \
    X(UnknownWord, "Q2001", "", Warning, "a statement word that is no statement; the line is ignored")               \
    X(UndefinedConstantIgnored, "Q2002", "", Warning, "DEF, PAT or ORG names an undefined constant and goes on")     \
    X(NumberNotName, "Q2003", "", Warning, "a token read as a number is no number: possibly a missing '#'")          \
    X(NumberTooLarge, "Q2004", "", Warning, "a number does not fit in 32 bits")                                      \
    X(FieldOverflow, "Q2005", "", Warning, "a value does not fit its field and is cut to its low nibbles")           \
    X(PatternLabelOverwritten, "Q2006", "", Warning, "PAT at an address overwrites a labelled pattern word")         \
    X(ProgramOriginBeyond, "Q2007", "", Warning, "ORG PGM names an address beyond program memory; ignored")          \
    X(PatternOriginBeyond, "Q2008", "", Warning, "ORG PAT names an address beyond pattern memory; ignored")          \
    X(IncludeNameMissing, "Q2009", "", Warning, "INC without a file name; ignored")                                  \
    X(PatternNotLoaded, "Q2010", "", Warning, "a pattern word lies beyond the part of pattern memory loaded")        \
    X(OtherWarning, "Q2099", "", Warning, "another warning of the assembler")                                        \
    X(Overwritten, "Q3001", "overwrite", Warning, "a statement writes over nibbles of an earlier one")               \
    X(UnusedLabel, "Q3002", "unused-label", Warning, "a program label no jump names")                                \
    X(UnusedConstant, "Q3003", "unused-constant", Warning, "a constant no operand names")                            \
    X(UnusedPatternLabel, "Q3004", "unused-pattern", Warning, "a pattern label no LPP names")                        \
    X(DefinedTwice, "Q3005", "redefined", Warning, "a name defined again: the later definition is never found")      \
    X(EmptySlot, "Q3006", "empty-slot", Warning, "LPP of a pattern slot that no PAT fills")                          \
    X(TargetInsideStatement, "Q3007", "jump-target", Warning, "a numeric jump target where no statement starts")     \
    X(MalformedNumber, "Q3008", "number", Warning, "a number with characters its base has no digit for, read silently") \
    X(MaybeWord, "Q4001", "", Note, "the statement word nearest an unknown one")                                     \
    X(MaybeName, "Q4002", "", Note, "the defined name nearest an undefined one")                                     \
    X(OtherTable, "Q4003", "", Note, "an undefined name is defined in another table")                                \
    X(DefinedLater, "Q4004", "", Note, "a constant used before the DEF that defines it")                             \
    X(MissingHash, "Q4005", "", Note, "a '#' name that a token without '#' was meant to be")                         \
    X(IncludeCase, "Q4006", "", Note, "an INC file exists under another case: INC names are upper-cased")           \
    X(NamesNotReported, "Q4007", "", Note, "uses of undefined names left unreported after a missing INC file")

enum class Code : uint16_t {
#define QVEK_DIAG_ENUM(name, code, switchName, level, summary) name,
    QVEK_DIAG_CODES(QVEK_DIAG_ENUM)
#undef QVEK_DIAG_ENUM
};

/// The table entry of a code.
const CodeInfo& infoOf(Code code);

}  // namespace qvek::diag
