// What the inspector shows of a load file: the listing (summary, pattern
// memory, disassembled program memory, with a source's names), and source
// text that assembles to the same images. Owns Inspection; reads AsmState only.
#pragma once

#include <cstdio>

#include "core/asm_state.h"
#include "inspect/disassembler.h"
#include "inspect/load_image.h"

namespace qvek {

constexpr uint32_t kMinZeroSlots = 2;  // shorter runs of zero pattern words are listed word by word
constexpr int kCommentColumn = 40;     // source text: where the address comment starts

// A load image with everything the listing is made from.
struct Inspection {
    LoadImage image;                   // the load file as read
    Names names;                       // the source's names, or none
    Disassembly program;               // the program memory's statements
    const char* loadName = "";         // the load file's name, as given
    const char* sourceName = nullptr;  // the source that gave the names, or null
};

/// Indexes the names of st (null for none) and disassembles the image, once the image has been read.
void prepareInspection(Inspection& inspection, const AsmState* st);
/// Writes the listing: a summary, the constants, the pattern memory and the program memory.
void writeListing(const Inspection& inspection, FILE* out);
/// Writes source text that qvek assembles to the same images and load file (bar the header).
void writeSourceText(const Inspection& inspection, FILE* out);

}  // namespace qvek
