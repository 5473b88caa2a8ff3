// The one record of an assembly run: every table, counter, flag and limit.
// All procedures take it by reference; nothing else holds assembler state.
// Writers: options (format, flags, append name), passes (tables, counters),
// source input (line numbers, include stack); the load-file writers only read it.
#pragma once

#include <cstdint>
#include <cstdio>

#include "core/name_index.h"

namespace qvek {

// Limits of the source language and of the two memories.
constexpr uint32_t kProgramNibbles = 4096;                     // program memory, nibbles 0..4095
constexpr uint32_t kProgramImageSize = 4100;                   // room for the tail of a last instruction
constexpr uint32_t kPatternSlots = 1024;                       // pattern memory, 32-bit words
constexpr uint32_t kHostPatternAddresses = 2 * kPatternSlots;  // host addresses count halves
constexpr uint32_t kMaxDefinitions = 4096;                     // DEF constants
constexpr uint32_t kMaxProgramLabels = 1024;                   // labels of program statements
constexpr uint32_t kMaxIncludeFiles = 16;                      // main source and 15 nested includes
constexpr uint32_t kMaxIncludeDepth = kMaxIncludeFiles - 1;
constexpr uint32_t kMaxLineLength = 120;     // normalised line, comments excluded
constexpr uint32_t kMaxTokenLength = 80;     // one operand token
constexpr uint32_t kMaxOperands = 16;        // operand tokens after the statement word
constexpr uint32_t kDefaultLabelWidth = 10;  // name column of the listings
// File names come from build tools as long absolute paths: hold any path the
// platform can open (its own limit is 4096 bytes with the terminator).
constexpr uint32_t kMaxPathLength = 4096;
// Lines of one file: currentLine is a signed 32-bit count, and the line past it is refused.
constexpr int32_t kMaxLineCount = INT32_MAX;

// The digest of the lines a pass has read starts here (the FNV offset basis).
constexpr uint64_t kLineDigestSeed = 14695981039346656037ull;

constexpr uint32_t kLineBufferSize = kMaxLineLength + 1;
constexpr uint32_t kTokenBufferSize = kMaxTokenLength + 1;
constexpr uint32_t kPathBufferSize = kMaxPathLength + 1;

enum OutputFormat : uint8_t {
    DebugHwFormat = 0,     // option i: one word per line
    ConfigToolFormat = 1,  // option p, the default: rows of words
};

// The names and texts of the three tables lie in pools, each entry's where it
// first needed room: a run of short names touches a few pages of them, not a
// field of the longest text per entry. An entry whose text outgrows its room
// moves once, to room for any text of its field, so a pool never runs out.
// Byte 0 of every pool is the empty text of an entry that has none.
constexpr uint32_t kDefinitionNameSize = kTokenBufferSize;        // a constant's name and terminator
constexpr uint32_t kProgramLabelNameSize = kTokenBufferSize + 3;  // a program label and terminator
constexpr uint32_t kPatternLabelSize = kTokenBufferSize;          // a pattern word's label and terminator
constexpr uint32_t kPatternValueTextSize = kTokenBufferSize + 2;  // a pattern word's value as written
// Room for every entry's first text and its move: twice the largest text each.
constexpr uint32_t kDefinitionNamePoolSize = 1 + kMaxDefinitions * 2 * kDefinitionNameSize;
constexpr uint32_t kProgramLabelPoolSize = 1 + kMaxProgramLabels * 2 * kProgramLabelNameSize;
constexpr uint32_t kPatternTextPoolSize = 1 + kPatternSlots * 2 * (kPatternLabelSize + kPatternValueTextSize);

struct Definition {
    uint32_t name = 0;  // offset of "#NAME" as written in definitionNames; 0 = the empty name of a free entry
    int32_t value = 0;  // the constant's 32-bit value
    uint8_t room = 0;   // bytes held for the name at its offset; 0 = none yet
};

struct ProgramLabel {
    int32_t address = 0;  // nibble address of the labelled statement
    uint32_t name = 0;    // offset of "#LABEL" as written in programLabelNames; 0 = none
    uint8_t room = 0;     // bytes held for the name at its offset; 0 = none yet
};

struct PatternWord {
    uint32_t label = 0;      // offset of "#LABEL" or the empty text in patternTexts; non-empty = occupied
    uint32_t valueText = 0;  // offset of the value operand as written in patternTexts
    uint32_t value = 0;      // the 32-bit word
    uint8_t labelRoom = 0;   // bytes held for the label at its offset; 0 = none yet
    uint8_t valueRoom = 0;   // bytes held for the value text at its offset; 0 = none yet
};
static_assert(kProgramLabelNameSize <= UINT8_MAX && kPatternValueTextSize <= UINT8_MAX, "room fits a byte");

struct AsmState;
// Gives the passes the buffers of each file they read, in one block, and takes
// it back; allocate returns null when memory is short. Blocks go back in the
// reverse order they were given, a file's before the file that included it.
using Allocator = void* (*)(AsmState& st, size_t size);
using Releaser = void (*)(AsmState& st, void* block);
/// The default pair: from the room behind a state newAsmState made while it lasts, else malloc and free.
void* allocateBlock(AsmState& st, size_t size) noexcept;
void releaseBlock(AsmState& st, void* block) noexcept;
struct AsmEvent;  // core/observer.h
// Told what an assembly does, event by event, with the state to read the tables in.
using Observer = void (*)(void* context, const AsmState& st, const AsmEvent& event);
// Opens a source file (the main source or an INC file) for reading by name, as
// the passes name it; returns null when it cannot. Both passes call it per file.
using Opener = FILE* (*)(void* context, const char* name);
// Names the kind of file ("a pipe", "a device", "a socket") an opener will not
// open, as the passes refuse it from disk, or returns null to have it opened.
using OpenerRefusal = const char* (*)(void* context, const char* name);
// Asked after a statement failed (its error reported and observed) whether the
// pass goes on with the next line; a check that reports every mistake in one run
// says yes while the rest can still be read. The failed statement then takes its
// room as if assembled, so that later addresses stay where the assembler puts them.
using Resumer = bool (*)(void* context, const AsmState& st);

// The arrays: most of the state's size, and every byte of them zero when a run
// begins, so that newAsmState can leave them to pages the system zeroes.
struct AsmTables {
    char appendFileName[kPathBufferSize] = {};                  // file copied behind the load file; empty = none
    Definition definitions[kMaxDefinitions];                    // DEF constants, filled from entry 0
    char definitionNames[kDefinitionNamePoolSize] = {};         // their names; byte 0 is the empty name
    ProgramLabel programLabels[kMaxProgramLabels];              // program labels in source order
    char programLabelNames[kProgramLabelPoolSize] = {};         // their names; byte 0 is the empty name
    char includeNames[kMaxIncludeFiles][kPathBufferSize] = {};  // [0] = file being read now
    char lastRegularInclude[kPathBufferSize] = {};              // INC name last opened from disk as a plain file
    PatternWord patternMemory[kPatternSlots];                   // pattern image, indexed by slot
    char patternTexts[kPatternTextPoolSize] = {};               // its labels and value texts; byte 0 is empty
    // The names of the three tables are stored through core/symbols.h only, which
    // keeps each table's index in step with it.
    NameIndex<kMaxDefinitions> definitionIndex;      // definitions by name
    NameIndex<kPatternSlots> patternLabelIndex;      // patternMemory by label
    NameIndex<kMaxProgramLabels> programLabelIndex;  // programLabels by name, all entries ever named
    uint8_t programImage[kProgramImageSize] = {};    // one nibble (0..15) per element
};

// Everything beside the arrays: options, counters, the include stack's line
// numbers, the pass digests and the hooks, some of them not zero at the start.
struct AsmFields {
    uint32_t labelWidth = kDefaultLabelWidth;   // name column width of every listing
    uint8_t outputFormat = ConfigToolFormat;    // load-file layout (OutputFormat)
    bool appendNameTooLong = false;             // option a named more than any path can hold
    int32_t savedLines[kMaxIncludeFiles] = {};  // currentLine of each including file
    uint32_t includeDepth = 0;                  // include files open beyond the main source
    uint32_t programCounter = 0;                // nibble address of the next statement
    uint32_t patternPointer = 0;                // slot where the next sequential PAT searches
    uint32_t definitionCount = 0;               // used entries of definitions
    uint32_t definitionNamesUsed = 1;           // bytes of definitionNames held, byte 0 among them
    uint32_t programLabelNamesUsed = 1;         // bytes of programLabelNames held, byte 0 among them
    uint32_t patternTextsUsed = 1;              // bytes of patternTexts held, byte 0 among them
    uint32_t programHighWater = 0;              // largest programCounter after a pass-2 statement
    uint32_t patternHighWater = 0;              // largest patternPointer after a pass-1 statement
    uint32_t patternLabelEnd = 0;               // one past the highest slot ever labelled: none beyond
    uint32_t labelCount = 0;                    // used entries of programLabels
    int32_t warningCount = 0;                   // warnings issued, printed or not
    int32_t errorCount = 0;                     // errors issued, printed or not
    int32_t currentLine = 0;                    // last line read from the file being read
    bool dumpListing = false;                   // option d: echo lines, print listings
    bool silent = false;                        // option s: no messages or report
    uint32_t definitionsPassed = 0;             // pass 2: DEF statements read so far, which is
                                                // the number of entries pass 1 had made there
    uint64_t linesDigest = kLineDigestSeed;     // every line this pass has read, in reading order
    uint64_t pass1Digest = kLineDigestSeed;     // linesDigest at the end of pass 1, for pass 2 to match
    bool targetKnown = false;                   // the run has identified the target file
    uint64_t targetDevice = 0;                  // its device, so no source reads the target
    uint64_t targetInode = 0;                   // its inode
    bool targetIncluded = false;                // pass 1 met the target as an include: left as it was
    FILE* console = stdout;                     // where messages, listings and echoes go
    Allocator allocate = allocateBlock;         // source of the passes' file buffers
    Releaser release = releaseBlock;            // takes back what allocate gave
    char* spareTop = nullptr;                   // free room behind the state, in its own pages, from here
    char* spareEnd = nullptr;                   // to here; both null = no such room
    void* memory = nullptr;                     // the block newAsmState placed the state in, freed with it
    Observer observer = nullptr;                // told of files, statements and messages; null = nobody
    void* observerContext = nullptr;            // handed back to observer
    uint8_t pass = 0;                           // the pass running, 1 or 2; 0 outside the passes
    Opener opener = nullptr;                    // opens every source file; null = from disk by name
    void* openerContext = nullptr;              // handed back to opener
    OpenerRefusal openerRefuses = nullptr;      // with an opener: what it refuses; null = it refuses nothing
    Resumer resume = nullptr;                   // asked after a failed statement; null = every failure ends the pass
    void* resumeContext = nullptr;              // handed back to resume
};

// The one record. A value-initialised one (new AsmState()) is a fresh state, and
// so is one from newAsmState (core/state_memory.h).
struct AsmState : AsmFields, AsmTables {};

}  // namespace qvek
