// A picture of both memories as SVG: program memory as a grid of its nibbles,
// each statement coloured by the file it came from, with the labels where
// they fall; pattern memory as a grid of slots by kind; the usage figures.
// Owns MemoryPicture; reads AsmState and LoadImage only.
#pragma once

#include <cstdint>
#include <cstdio>

#include "core/asm_state.h"
#include "inspect/disassembler.h"
#include "inspect/listing.h"
#include "inspect/record.h"

namespace qvek {

// What a pattern slot holds, as the picture tells them apart.
enum class SlotKind : uint8_t {
    Free,        // within the words the load file writes; no PAT filled it
    Labelled,    // a PAT with a label filled it
    Unlabelled,  // a PAT without a label filled it
    Zero,        // a load file alone: a zero word
    Word,        // a load file alone: a word that is not zero
    Beyond,      // past the words the load file writes
    BeyondHeld,  // past them, yet a PAT filled it: never loaded
    Count,
};

constexpr uint32_t kUnusedNibble = UINT32_MAX;  // fileAt of a nibble no statement occupies

struct MemoryPicture {
    const char* title = "";                 // the file pictured, as named
    const Record* record = nullptr;         // a source's files and lines; null for a load file alone
    uint32_t fileAt[kProgramNibbles];       // file of the statement on each nibble, or kUnusedNibble
    uint32_t statementAt[kProgramNibbles];  // a number of that statement, telling neighbours apart
    Names names;                            // the labels written where they fall; none for a load file
    uint32_t patternValues[kPatternSlots];  // the pattern words
    SlotKind slots[kPatternSlots];          // each pattern slot's kind
    uint32_t patternWritten = 0;            // slots a load file holds, from slot 0
    uint32_t programUsed = 0;               // nibbles counted as used
    uint32_t patternUsed = 0;               // pattern words counted as used
};

/// Pictures a load file alone: instructions as used memory, pattern words as zero or not.
void pictureLoadFile(MemoryPicture& picture, const Inspection& inspection);
/// Pictures an assembled source by its record: files, labels, pattern words, in the default layout's segment.
void pictureSource(MemoryPicture& picture, const AsmState& st, const Record& record, const char* sourceName);
/// Writes the picture as a standalone SVG document.
void writeMemorySvg(const MemoryPicture& picture, FILE* out);
/// Writes text escaped for XML: markup characters as entities, bytes 0x80 to 0xFF as character references.
void writeXmlText(FILE* out, const char* text);

}  // namespace qvek
