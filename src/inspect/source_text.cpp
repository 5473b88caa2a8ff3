// Source text from a load image. It must assemble to the same images and to
// the same load file bar its header: the same pattern words, the same program
// nibbles, and used sizes that make the writers write the same number of
// words and rows.
#include <cstring>

#include "core/symbols.h"
#include "inspect/listing.h"

namespace qvek {

namespace {

constexpr uint32_t kMaxOrgPatSlot = 511;    // ORG PAT takes host addresses up to 1023 only
constexpr int kStatementColumn = 8;         // statements start here, after the label column
constexpr size_t kAddressCommentSize = 16;  // "0x123 " and the five nibbles of the longest instruction

// A statement line, with an optional label and the comment that shows where it came from.
void writeLine(FILE* out, const char* label, const char* statement, const char* comment) {
    char line[kTokenBufferSize + kStatementTextSize + 2];
    if (label[0] != '\0' && std::strlen(label) + 1 + std::strlen(statement) > kMaxLineLength) {
        std::fprintf(out, "%s\n", label);  // a label alone labels the next statement
        label = "";
    }
    std::snprintf(line, sizeof line, "%-*s %s", kStatementColumn - 1, label, statement);
    if (comment[0] == '\0')
        std::fprintf(out, "%s\n", line);
    else
        std::fprintf(out, "%-*s * %s\n", kCommentColumn, line, comment);
}

// The largest used size of program memory for which the writers write no more words than the file holds.
uint32_t programSizeAllowed(const LoadImage& image) { return image.programWords > 0 ? 4 * image.programWords - 1 : 0; }

// The smallest used size of program memory for which the writers write as many words as the file holds.
uint32_t programSizeNeeded(const LoadImage& image) {
    const uint32_t words = image.programWords;
    if (words == 0) return 0;
    if (image.layout == DebugHwFormat) return words == 1 ? 1 : 4 * (words - 1);
    return words > kProgramRowWords ? 4 * (words - kProgramRowWords) : 0;
}

void writeConstants(const Names& names, FILE* out) {
    if (names.st == nullptr) return;
    for (uint32_t i = 0; i < names.st->definitionCount && i < kMaxDefinitions; i++)
        if (names.firstDefinition[i])
            std::fprintf(out, "DEF %s H%8.8X\n", definitionName(*names.st, i),
                         static_cast<uint32_t>(names.st->definitions[i].value));
}

void writePatterns(const Inspection& in, FILE* out) {
    const LoadImage& image = in.image;
    const AsmState* st = in.names.st;
    const auto label = [&](uint32_t k) { return st != nullptr ? patternLabel(*st, k) : ""; };
    uint32_t slots = 0;  // up to the last word that is not zero or has a label
    for (uint32_t k = 0; k < image.patternSlots; k++)
        if (image.patternValues[k] != 0 || label(k)[0] != '\0') slots = k + 1;
    // The used size must give the same count of words: a configuration-tool
    // file rounds it up to whole rows, so any size in its last row will do.
    uint32_t least = image.patternSlots;
    if (image.layout == ConfigToolFormat)
        least = image.patternSlots >= kPatternRowSlots ? image.patternSlots - (kPatternRowSlots - 1) : 0;
    if (slots < least) slots = least;
    if (slots == 0) return;
    std::fprintf(out, "* Pattern memory (the load file holds %u %s)\n", image.patternSlots,
                 image.patternSlots == 1 ? "word" : "words");
    uint32_t pointer = 0;
    for (uint32_t k = 0; k < slots; k++) {
        const bool last = k + 1 == slots;
        if (image.patternValues[k] == 0 && label(k)[0] == '\0' && !last) continue;
        // Zero words not written stay zero; ORG PAT skips them where it can reach.
        if (pointer < k && k - pointer >= kMinZeroSlots && k <= kMaxOrgPatSlot) {
            std::fprintf(out, "ORG PAT H%4.4X\n", 2 * k);
            pointer = k;
        }
        for (; pointer < k; pointer++) std::fprintf(out, "PAT H00000000\n");
        if (label(k)[0] != '\0')
            std::fprintf(out, "PAT %s H%8.8X\n", label(k), image.patternValues[k]);
        else
            std::fprintf(out, "PAT H%8.8X\n", image.patternValues[k]);
        pointer++;
    }
}

// Labels of an address that no statement of the text starts: placed by origin and a label line.
uint32_t writeLabelsAt(const Inspection& in, uint32_t address, uint32_t counter, FILE* out) {
    int label = labelAt(in.names, address);
    if (label < 0) return counter;
    if (counter != address) std::fprintf(out, "        ORG PGM H%3.3X\n", address);
    for (; label >= 0; label = nextLabelAt(in.names, label))
        std::fprintf(out, "%s\n", programLabelName(*in.names.st, label));
    return address;
}

// The last instruction, when it runs past the used size the file allows:
// its nibbles there were another instruction's operand, since overwritten.
const ProgramItem* itemRunningPast(const Disassembly& program, uint32_t allowed) {
    for (uint32_t i = program.count; i-- > 0;) {
        const ProgramItem& item = program.items[i];
        // At address 0 no earlier statement can place the opcode: no load file qvek writes has that.
        if (item.kind == ItemKind::Instruction)
            return item.address + item.size > allowed && item.address > 0 ? &item : nullptr;
    }
    return nullptr;
}

// The statement word whose one operand nibble follows its opcode: it places any nibble.
const Keyword& nibbleCarrier() {
    for (const Keyword& k : kKeywords)
        if (k.layout == Layout::Constant1) return k;
    return kKeywords[0];
}

// Places the nibbles of an instruction that runs past the used size one at a
// time, from the last down to its opcode, each as the operand of a two-nibble
// statement one address before it, which the next one overwrites; the last
// of these stands on the nibble before the instruction and is undone by a NOP,
// which the statements written after it overwrite in turn. Returns the counter.
uint32_t writeNibblesOneByOne(const Inspection& in, const ProgramItem& item, uint32_t allowed, FILE* out) {
    const uint8_t* image = in.image.programImage;
    char statement[kStatementTextSize];
    statementText(item.instruction, in.names, statement);
    std::fprintf(out, "* 0x%3.3x %s runs past the words the file holds: it is placed a nibble at a time\n",
                 item.address, statement);
    const uint32_t end = item.address + item.size < allowed ? item.address + item.size : allowed;
    uint32_t last = item.address;  // the last nibble to place: the highest that is not zero
    for (uint32_t a = item.address + 1; a < end; a++)
        if (image[a] != 0) last = a;
    writeLabelsAt(in, item.address, kProgramNibbles, out);
    const char* carrier = nibbleCarrier().word;
    for (uint32_t a = last + 1; a-- > item.address;) {
        char text[kTokenBufferSize], comment[kAddressCommentSize];
        std::snprintf(text, sizeof text, "%s H%X", carrier, image[a]);
        std::snprintf(comment, sizeof comment, "0x%3.3x %x", a, image[a]);
        std::fprintf(out, "        ORG PGM H%3.3X\n", a - 1);
        writeLine(out, "", text, comment);
    }
    std::fprintf(out, "        ORG PGM H%3.3X\n", item.address - 1);
    writeLine(out, "", "NOP", "");
    return item.address;
}

void writeProgram(const Inspection& in, FILE* out) {
    const Names& names = in.names;
    const Disassembly& program = in.program;
    if (!in.image.program.present) return;
    std::fprintf(out, "* Program memory (the load file holds %u %s)\n", in.image.programWords,
                 in.image.programWords == 1 ? "word" : "words");
    const uint32_t allowed = programSizeAllowed(in.image);
    const ProgramItem* past = itemRunningPast(program, allowed);
    uint32_t counter = 0;  // programCounter when the text is assembled
    if (past != nullptr) counter = writeNibblesOneByOne(in, *past, allowed, out);
    for (uint32_t i = 0; i < program.count; i++) {
        const ProgramItem& item = program.items[i];
        if (&item == past) continue;
        if (item.kind == ItemKind::ZeroRun || item.address >= program.usedEnd) {
            // Zero nibbles are left out; the next statement's origin steps over them.
            counter = writeLabelsAt(in, item.address, counter, out);
            continue;
        }
        if (counter != item.address) std::fprintf(out, "        ORG PGM H%3.3X\n", item.address);
        int label = labelAt(names, item.address);
        for (int next = nextLabelAt(names, label); next >= 0; label = next, next = nextLabelAt(names, next))
            std::fprintf(out, "%s\n", programLabelName(*names.st, label));
        char statement[kStatementTextSize];
        statementText(item.instruction, names, statement);
        char comment[kAddressCommentSize];
        int used = std::snprintf(comment, sizeof comment, "0x%3.3x ", item.address);
        for (uint32_t n = 0; n < item.size && used + 1 < static_cast<int>(sizeof comment); n++)
            comment[used++] = "0123456789abcdef"[in.image.programImage[item.address + n]];
        comment[used] = '\0';
        writeLine(out, label >= 0 ? programLabelName(*names.st, label) : "", statement, comment);
        counter = item.address + item.size;
    }
    // The last origin sets the used size, and with it the words the writers write.
    const uint32_t size = programSizeNeeded(in.image);
    if (counter < size) std::fprintf(out, "        ORG PGM H%3.3X\n", size);
}

}  // namespace

void writeSourceText(const Inspection& in, FILE* out) {
    const SegmentHeader& header = firstHeader(in.image);
    std::fprintf(out, "* Source text of %s, %s layout\n", in.loadName,
                 in.image.layout == DebugHwFormat ? "debug-hardware" : "configuration-tool");
    std::fprintf(out, "* generated from %s on %s\n", header.sourceName, header.timeStamp);
    if (in.image.appended)
        std::fprintf(out, "* The %llu bytes appended from line %u are not part of the images\n",
                     static_cast<unsigned long long>(in.image.appendedSize), in.image.appendedLine);
    writeConstants(in.names, out);
    writePatterns(in, out);
    writeProgram(in, out);
}

}  // namespace qvek
