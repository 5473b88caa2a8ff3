#include "inspect/listing.h"

#include <algorithm>
#include <cstring>

#include "core/symbols.h"

namespace qvek {

namespace {

constexpr int kNibbleColumn = 7;  // "NIBBLES": the five nibbles of the longest instruction fit
constexpr int kMinLabelColumn = 5;

const char* plural(uint32_t count, const char* one, const char* more) { return count == 1 ? one : more; }

const char* layoutName(OutputFormat layout) {
    return layout == DebugHwFormat ? "debug hardware" : "configuration tool";
}

const char* patternLabel(const Inspection& in, uint32_t slot) {
    return in.names.st != nullptr ? patternLabel(*in.names.st, slot) : "";
}

uint32_t programLabelCount(const Names& names) {
    uint32_t count = 0;
    for (uint32_t a = 0; a < kProgramNibbles; a++)
        for (int l = labelAt(names, a); l >= 0; l = nextLabelAt(names, l)) count++;
    return count;
}

uint32_t constantCount(const Names& names) {
    uint32_t count = 0;
    for (uint32_t i = 0; names.st != nullptr && i < names.st->definitionCount && i < kMaxDefinitions; i++)
        if (names.firstDefinition[i]) count++;
    return count;
}

int labelColumn(const Inspection& in) {
    size_t width = kMinLabelColumn;
    for (uint32_t i = 0; i < in.program.count; i++)
        for (int l = labelAt(in.names, in.program.items[i].address); l >= 0; l = nextLabelAt(in.names, l))
            width = std::max(width, std::strlen(programLabelName(*in.names.st, l)));
    return static_cast<int>(width);
}

void writeSummary(const Inspection& in, FILE* out) {
    const LoadImage& image = in.image;
    const SegmentHeader& header = firstHeader(image);
    std::fprintf(out, "Load file  %s\n", in.loadName);
    std::fprintf(out, "Layout     %s\n", layoutName(image.layout));
    std::fprintf(out, "Source     %s\n", header.sourceName);
    std::fprintf(out, "Generated  %s via %s\n", header.timeStamp, header.generator);
    const uint32_t slots = image.patternSlots;
    if (!image.pattern.present)
        std::fprintf(out, "Pattern    none\n");
    else if (slots == 0)
        std::fprintf(out, "Pattern    0 words\n");
    else
        std::fprintf(out, "Pattern    %u %s, host addresses 0x0000 to 0x%4.4x\n", slots, plural(slots, "word", "words"),
                     2 * slots - 1);
    const uint32_t words = image.programWords;
    if (!image.program.present)
        std::fprintf(out, "Program    none\n");
    else if (words == 0)
        std::fprintf(out, "Program    0 words\n");
    else if (in.program.usedEnd == 0)
        std::fprintf(out, "Program    %u %s, nibbles 0x000 to 0x%3.3x, all zero\n", words,
                     plural(words, "word", "words"), 4 * words - 1);
    else
        std::fprintf(out, "Program    %u %s, nibbles 0x000 to 0x%3.3x, used to 0x%3.3x\n", words,
                     plural(words, "word", "words"), 4 * words - 1, in.program.usedEnd - 1);
    if (image.appended)
        std::fprintf(out, "Appended   %llu bytes from line %u (byte offset %llu)\n",
                     static_cast<unsigned long long>(image.appendedSize), image.appendedLine,
                     static_cast<unsigned long long>(image.appendedOffset));
    else
        std::fprintf(out, "Appended   none\n");
    if (in.names.st == nullptr) {
        std::fprintf(out, "Names      none (--source names labels and constants)\n");
        return;
    }
    uint32_t patternLabels = 0;
    for (uint32_t k = 0; k < image.patternSlots; k++)
        if (patternLabel(in, k)[0] != '\0') patternLabels++;
    const uint32_t labels = programLabelCount(in.names);
    const uint32_t constants = constantCount(in.names);
    std::fprintf(out, "Names      from %s: %u program %s, %u pattern %s, %u %s\n", in.sourceName, labels,
                 plural(labels, "label", "labels"), patternLabels, plural(patternLabels, "label", "labels"), constants,
                 plural(constants, "constant", "constants"));
}

void writeConstants(const Inspection& in, FILE* out) {
    const AsmState* st = in.names.st;
    if (constantCount(in.names) == 0) return;
    size_t width = kMinLabelColumn;
    for (uint32_t i = 0; i < st->definitionCount && i < kMaxDefinitions; i++)
        if (in.names.firstDefinition[i]) width = std::max(width, std::strlen(definitionName(*st, i)));
    std::fprintf(out, "\nConstants\n");
    for (uint32_t i = 0; i < st->definitionCount && i < kMaxDefinitions; i++)
        if (in.names.firstDefinition[i])
            std::fprintf(out, "  %-*s  0x%8.8x\n", static_cast<int>(width), definitionName(*st, i),
                         static_cast<uint32_t>(st->definitions[i].value));
}

void writePatternMemory(const Inspection& in, FILE* out) {
    const LoadImage& image = in.image;
    std::fprintf(out, "\nPattern memory\n");
    if (!image.pattern.present) {
        std::fprintf(out, "  none: the load file has no pattern segment\n");
        return;
    }
    std::fprintf(out, "  HOST    VALUE       LABEL\n");
    for (uint32_t k = 0; k < image.patternSlots;) {
        const auto unused = [&](uint32_t slot) {
            return image.patternValues[slot] == 0 && patternLabel(in, slot)[0] == '\0';
        };
        uint32_t run = k;
        while (run < image.patternSlots && unused(run)) run++;
        if (run - k >= kMinZeroSlots) {
            std::fprintf(out, "  0x%4.4x  0x00000000  (%u zero words, to 0x%4.4x)\n", 2 * k, run - k, 2 * (run - 1));
            k = run;
            continue;
        }
        const char* label = patternLabel(in, k);
        std::fprintf(out, "  0x%4.4x  0x%8.8x%s%s\n", 2 * k, image.patternValues[k], label[0] != '\0' ? "  " : "",
                     label);
        k++;
    }
}

void writeItem(const Inspection& in, const ProgramItem& item, int width, FILE* out) {
    const Names& names = in.names;
    // Further labels of the same address go on lines of their own, before the statement.
    int label = labelAt(names, item.address);
    for (int next = nextLabelAt(names, label); next >= 0; label = next, next = nextLabelAt(names, next))
        std::fprintf(out, "  0x%3.3x  %-*s  %s\n", item.address, kNibbleColumn, "", programLabelName(*names.st, label));
    const char* name = label >= 0 ? programLabelName(*names.st, label) : "";

    char nibbles[kNibbleColumn + 1] = "0...";
    char statement[kStatementTextSize];
    const char* remark = "";
    if (item.kind == ItemKind::Instruction) {
        for (uint32_t n = 0; n < item.size; n++)
            nibbles[n] = "0123456789abcdef"[in.image.programImage[item.address + n]];
        nibbles[item.size] = '\0';
        statementText(item.instruction, names, statement);
        if (item.address + item.size > kProgramNibbles)
            remark = "   (runs past the end of program memory)";
        else if (item.address + item.size > in.program.end)
            remark = "   (runs past the words of the load file)";
    } else if (item.address >= in.program.usedEnd) {
        std::snprintf(statement, sizeof statement, "unused: %u zero %s to 0x%3.3x", item.size,
                      plural(item.size, "nibble", "nibbles"), item.address + item.size - 1);
    } else {
        std::snprintf(statement, sizeof statement, "NOP x %u, zero nibbles to 0x%3.3x", item.size,
                      item.address + item.size - 1);
    }
    std::fprintf(out, "  0x%3.3x  %-*s  %-*s  %s%s\n", item.address, kNibbleColumn, nibbles, width, name, statement,
                 remark);
}

void writeProgramMemory(const Inspection& in, FILE* out) {
    std::fprintf(out, "\nProgram memory\n");
    if (!in.image.program.present) {
        std::fprintf(out, "  none: the load file has no program segment\n");
        return;
    }
    const int width = labelColumn(in);
    std::fprintf(out, "  ADDR   %-*s  %-*s  STATEMENT\n", kNibbleColumn, "NIBBLES", width, "LABEL");
    for (uint32_t i = 0; i < in.program.count; i++) writeItem(in, in.program.items[i], width, out);
}

// Names the listing cannot show where they belong.
void writeNotes(const Inspection& in, FILE* out) {
    const Names& names = in.names;
    if (names.st == nullptr) return;
    bool headed = false;
    const auto note = [&]() {
        if (!headed) std::fprintf(out, "\nNotes\n");
        headed = true;
    };
    for (uint32_t a = 0; a < kProgramNibbles; a++) {
        for (int l = labelAt(names, a); l >= 0; l = nextLabelAt(names, l)) {
            if (itemStartsAt(in.program, a)) continue;
            note();
            const char* name = programLabelName(*names.st, l);
            uint32_t i = 0;
            while (i + 1 < in.program.count && in.program.items[i + 1].address <= a) i++;
            if (a < in.program.end && in.program.count > 0)
                std::fprintf(out, "  Label %s at 0x%3.3x lies inside the instruction at 0x%3.3x\n", name, a,
                             in.program.items[i].address);
            else
                std::fprintf(out, "  Label %s at 0x%3.3x lies beyond the program words of the load file\n", name, a);
        }
    }
    for (uint32_t k = in.image.patternSlots; k < kPatternSlots; k++) {
        if (patternLabel(in, k)[0] == '\0') continue;
        note();
        std::fprintf(out, "  Pattern label %s at host address 0x%4.4x lies beyond the pattern words of the load file\n",
                     patternLabel(in, k), 2 * k);
    }
}

}  // namespace

void prepareInspection(Inspection& inspection, const AsmState* st) {
    prepareNames(inspection.names, st, inspection.image.patternSlots);
    disassemble(inspection.image.programImage, 4 * inspection.image.programWords, inspection.names, inspection.program);
    inspection.names.program = &inspection.program;
}

void writeListing(const Inspection& inspection, FILE* out) {
    writeSummary(inspection, out);
    writeConstants(inspection, out);
    writePatternMemory(inspection, out);
    writeProgramMemory(inspection, out);
    writeNotes(inspection, out);
}

}  // namespace qvek
