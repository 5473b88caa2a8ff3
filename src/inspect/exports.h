// A load image written in another form: either load-file layout (through the
// assembler's own writers), $readmemh files for logic simulation and Intel HEX
// for programming tools, one memory to a file. Reads LoadImage only.
#pragma once

#include <cstdint>
#include <cstdio>

#include "inspect/load_image.h"

namespace qvek {

enum class Memory : uint8_t { Program, Pattern };

constexpr uint32_t kHexRecordBytes = 16;  // data bytes in each Intel HEX record

/// Writes the images in a layout with the header's source name and time stamp; returns 0, or -1 without memory.
/// The words written are those the file holds: whole rows of the configuration tool stay whole.
int writeLayout(const LoadImage& image, OutputFormat layout, FILE* out);
/// Writes one memory as $readmemh text: a comment, then one word a line from word 0 (4 or 8 digits).
void writeReadmemh(const LoadImage& image, Memory memory, const char* loadName, FILE* out);
/// Writes one memory as Intel HEX: program word w at byte 2w, pattern word k at 4k, low byte first.
void writeIntelHex(const LoadImage& image, Memory memory, FILE* out);

}  // namespace qvek
