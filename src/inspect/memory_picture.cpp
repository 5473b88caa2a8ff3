#include "inspect/memory_picture.h"

#include <cmath>

#include "core/symbols.h"
#include "output/load_file.h"

namespace qvek {

namespace {

// The layout, in pixels. Both grids start at the same height, so their places
// do not depend on how long the legends are.
constexpr int kCell = 12;
constexpr int kProgramColumns = 64;  // nibbles a row: 0x40
constexpr int kPatternColumns = 32;  // slots a row: host addresses 0x40 apart
constexpr int kProgramRows = static_cast<int>(kProgramNibbles) / kProgramColumns;
constexpr int kPatternRows = static_cast<int>(kPatternSlots) / kPatternColumns;
constexpr int kProgramX = 60;  // room for "0x000" on the left
constexpr int kPatternX = kProgramX + kProgramColumns * kCell + 80;
constexpr int kGridY = 76;
constexpr int kLegendLine = 16;
constexpr int kMargin = 16;
constexpr int kWidth = kPatternX + kPatternColumns * kCell + kMargin;
constexpr char kPlain[] = "#ffffff";  // unused memory
constexpr char kGridLine[] = "#d8d8d8";

struct SlotStyle {
    const char* fill;
    const char* legend;
};

// One entry per SlotKind, in its order.
constexpr SlotStyle kSlotStyles[] = {
    {kPlain, "free: no PAT fills it"},
    {"#2c6db5", "word with a label"},
    {"#93bde8", "word without a label"},
    {kPlain, "zero word"},
    {"#4f8fd6", "word not zero"},
    {"#bdbdbd", "beyond the words the load file writes"},
    {"#e0742c", "filled by a PAT, but beyond the words the load file writes: never loaded"},
};
static_assert(sizeof kSlotStyles / sizeof kSlotStyles[0] == static_cast<size_t>(SlotKind::Count),
              "one style per slot kind");

// Well-formed UTF-8 sequences stay the characters they encode; returns their
// length and code point, or 0 for a byte that begins none.
int utf8Sequence(const unsigned char* p, uint32_t& code) {
    const unsigned char lead = p[0];
    const int length = lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : lead >= 0xC0 ? 2 : 0;
    if (length == 0 || lead > 0xF4) return 0;
    code = lead & (0x7Fu >> length);
    for (int i = 1; i < length; i++) {
        if ((p[i] & 0xC0) != 0x80) return 0;  // also stops at the terminator
        code = code << 6 | (p[i] & 0x3Fu);
    }
    constexpr uint32_t kLeast[] = {0, 0, 0x80, 0x800, 0x10000};
    if (code < kLeast[length] || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF)) return 0;
    return length;
}

// A colour of its own for each file, hues a golden angle apart, as RGB.
void fileColour(uint32_t file, char (&text)[8]) {
    const double hue = std::fmod(210.0 + 137.508 * file, 360.0) / 60.0;
    constexpr double kChroma = 0.55, kLight = 0.42;  // mid-tones, which dark text stays readable on
    const double x = kChroma * (1 - std::fabs(std::fmod(hue, 2.0) - 1));
    const double rgb[6][3] = {{kChroma, x, 0}, {x, kChroma, 0}, {0, kChroma, x},
                              {0, x, kChroma}, {x, 0, kChroma}, {kChroma, 0, x}};
    const double* c = rgb[static_cast<int>(hue) % 6];
    const auto level = [](double v) { return static_cast<unsigned>(std::lround((v + kLight) * 255)); };
    std::snprintf(text, sizeof text, "#%2.2x%2.2x%2.2x", level(c[0]), level(c[1]), level(c[2]));
}

const char* plural(uint32_t count, const char* one, const char* more) { return count == 1 ? one : more; }

void writeHeader(const MemoryPicture& p, int height, FILE* out) {
    std::fprintf(out,
                 "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
                 "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"%d\" height=\"%d\" viewBox=\"0 0 %d %d\" "
                 "font-family=\"monospace\" font-size=\"10\">\n<title>Memories of ",
                 kWidth, height, kWidth, height);
    writeXmlText(out, p.title);
    std::fprintf(out, "</title>\n<rect width=\"%d\" height=\"%d\" fill=\"%s\"/>\n", kWidth, height, kPlain);
    std::fprintf(out, "<text x=\"%d\" y=\"24\" font-size=\"16\">", kMargin);
    writeXmlText(out, p.title);
    const bool source = p.record != nullptr;
    std::fprintf(out, "%s</text>\n", source ? "" : " (a load file alone: no files or names)");
    const char* basis = source ? "as the assembler reports it" : "to the last instruction and the last word not zero";
    std::fprintf(out,
                 "<text x=\"%d\" y=\"44\">Usage, %s: program memory %u of %u nibbles (%u%%), pattern memory %u "
                 "of %u words (%u%%)</text>\n",
                 kMargin, basis, p.programUsed, kProgramNibbles, usagePercent(p.programUsed, kProgramNibbles),
                 p.patternUsed, kPatternSlots, usagePercent(p.patternUsed, kPatternSlots));
    std::fprintf(out, "<text x=\"%d\" y=\"%d\">Program memory: 0x%x nibbles a row</text>\n", kProgramX, kGridY - 8,
                 kProgramColumns);
    std::fprintf(out, "<text x=\"%d\" y=\"%d\">Pattern memory: host addresses, 0x%x a row</text>\n", kPatternX,
                 kGridY - 8, 2 * kPatternColumns);
}

// Thin lines between the cells of a grid, in one path.
void writeGridLines(int x, int columns, int rows, FILE* out) {
    std::fprintf(out, "<path fill=\"none\" stroke=\"%s\" stroke-width=\"0.5\" d=\"", kGridLine);
    for (int c = 0; c <= columns; c++) std::fprintf(out, "M%d %dv%d", x + c * kCell, kGridY, rows * kCell);
    for (int r = 0; r <= rows; r++) std::fprintf(out, "M%d %dh%d", x, kGridY + r * kCell, columns * kCell);
    std::fprintf(out, "\"/>\n");
}

void writeRowAddresses(int x, int rows, int step, int digits, FILE* out) {
    for (int r = 0; r < rows; r++)
        std::fprintf(out, "<text x=\"%d\" y=\"%d\" text-anchor=\"end\" font-size=\"8\">0x%0*x</text>\n", x - 4,
                     kGridY + r * kCell + kCell - 3, digits, r * step);
}

// Each statement's nibbles, a rectangle for each row it covers.
void writeStatements(const MemoryPicture& p, FILE* out) {
    for (uint32_t a = 0; a < kProgramNibbles;) {
        const uint32_t file = p.fileAt[a];
        uint32_t end = a + 1;
        while (end < kProgramNibbles && end % kProgramColumns != 0 && p.fileAt[end] == file &&
               p.statementAt[end] == p.statementAt[a])
            end++;
        if (file != kUnusedNibble) {
            char colour[8];
            fileColour(file, colour);
            std::fprintf(out,
                         "<rect x=\"%u\" y=\"%u\" width=\"%u\" height=\"%d\" fill=\"%s\" stroke=\"#303030\" "
                         "stroke-width=\"0.5\">",
                         kProgramX + a % kProgramColumns * kCell, kGridY + a / kProgramColumns * kCell,
                         (end - a) * kCell, kCell, colour);
            // Where the statement stands, for viewers that show a title on hovering.
            if (p.record != nullptr) {
                std::fprintf(out, "<title>");
                writeXmlText(out, p.record->files.name(file));
                std::fprintf(out, ":%d</title>", p.record->nibbles[a].site.line);
            }
            std::fprintf(out, "</rect>\n");
        }
        a = end;
    }
}

// A mark on the labelled nibble and the names beside it, over whatever follows.
void writeLabels(const MemoryPicture& p, FILE* out) {
    for (uint32_t a = 0; a < kProgramNibbles; a++) {
        int label = labelAt(p.names, a);
        if (label < 0) continue;
        const uint32_t x = kProgramX + a % kProgramColumns * kCell, y = kGridY + a / kProgramColumns * kCell;
        std::fprintf(out, "<rect x=\"%u\" y=\"%u\" width=\"2\" height=\"%d\" fill=\"#000000\"/>\n", x, y, kCell);
        std::fprintf(out, "<text x=\"%u\" y=\"%u\" font-size=\"8\">", x + 3, y + kCell - 3);
        for (const char* gap = ""; label >= 0; label = nextLabelAt(p.names, label), gap = " ") {
            std::fputs(gap, out);
            writeXmlText(out, programLabelName(*p.names.st, label));
        }
        std::fprintf(out, "</text>\n");
    }
}

// Each slot that holds a word, with its address, value and label as its title;
// the empty slots beyond the load file a rectangle for each row they cover.
void writeSlots(const MemoryPicture& p, FILE* out) {
    for (uint32_t k = 0; k < kPatternSlots;) {
        const SlotKind kind = p.slots[k];
        const uint32_t x = kPatternX + k % kPatternColumns * kCell, y = kGridY + k / kPatternColumns * kCell;
        const char* fill = kSlotStyles[static_cast<int>(kind)].fill;
        if (kind == SlotKind::Beyond) {
            uint32_t end = k + 1;
            while (end < kPatternSlots && end % kPatternColumns != 0 && p.slots[end] == kind) end++;
            std::fprintf(out, "<rect x=\"%u\" y=\"%u\" width=\"%u\" height=\"%d\" fill=\"%s\"/>\n", x, y,
                         (end - k) * kCell, kCell, fill);
            k = end;
            continue;
        }
        if (kind != SlotKind::Free && kind != SlotKind::Zero) {
            std::fprintf(out, "<rect x=\"%u\" y=\"%u\" width=\"%d\" height=\"%d\" fill=\"%s\"><title>0x%4.4x 0x%8.8x",
                         x, y, kCell, kCell, fill, 2 * k, p.patternValues[k]);
            if (p.names.st != nullptr && patternLabel(*p.names.st, k)[0] != '\0') {
                std::fputc(' ', out);
                writeXmlText(out, patternLabel(*p.names.st, k));
            }
            std::fprintf(out, "</title></rect>\n");
        }
        k++;
    }
}

int writeSwatch(int x, int y, const char* fill, FILE* out) {
    std::fprintf(out,
                 "<rect x=\"%d\" y=\"%d\" width=\"%d\" height=\"%d\" fill=\"%s\" stroke=\"#303030\" "
                 "stroke-width=\"0.5\"/>\n<text x=\"%d\" y=\"%d\">",
                 x, y, kCell, kCell, fill, x + kCell + 6, y + kCell - 2);
    return y + kLegendLine;
}

void writeFileLegend(const MemoryPicture& p, int y, FILE* out) {
    y = writeSwatch(kProgramX, y, kPlain, out);
    std::fprintf(out, "unused</text>\n");
    const uint32_t files = p.record != nullptr ? p.record->files.count() : 1;
    for (uint32_t f = 0; f < files; f++) {
        char colour[8];
        fileColour(f, colour);
        y = writeSwatch(kProgramX, y, colour, out);
        writeXmlText(out, p.record != nullptr ? p.record->files.name(f) : "instructions");
        std::fprintf(out, "</text>\n");
    }
}

void writeSlotLegend(const MemoryPicture& p, int y, FILE* out) {
    bool shown[static_cast<int>(SlotKind::Count)] = {};
    for (SlotKind kind : p.slots) shown[static_cast<int>(kind)] = true;
    for (int kind = 0; kind < static_cast<int>(SlotKind::Count); kind++) {
        if (!shown[kind]) continue;
        y = writeSwatch(kPatternX, y, kSlotStyles[kind].fill, out);
        std::fprintf(out, "%s</text>\n", kSlotStyles[kind].legend);
    }
    std::fprintf(out, "<text x=\"%d\" y=\"%d\">%s %u %s.</text>\n", kPatternX, y + kCell - 2,
                 p.record != nullptr ? "A load file of the configuration-tool layout writes" : "The load file writes",
                 p.patternWritten, plural(p.patternWritten, "word", "words"));
}

}  // namespace

void pictureLoadFile(MemoryPicture& picture, const Inspection& in) {
    picture.title = in.loadName;
    picture.record = nullptr;
    for (uint32_t& file : picture.fileAt) file = kUnusedNibble;
    // Zero runs may be gaps or NOPs: only what decodes as an instruction counts as used.
    for (uint32_t i = 0; i < in.program.count; i++) {
        const ProgramItem& item = in.program.items[i];
        if (item.kind != ItemKind::Instruction || item.address >= in.program.usedEnd) continue;
        for (uint32_t a = item.address; a < item.address + item.size && a < kProgramNibbles; a++) {
            picture.fileAt[a] = 0;
            picture.statementAt[a] = i;
        }
    }
    prepareNames(picture.names, nullptr, 0);
    picture.patternWritten = in.image.patternSlots;
    picture.patternUsed = 0;
    for (uint32_t k = 0; k < kPatternSlots; k++) {
        picture.patternValues[k] = in.image.patternValues[k];
        const bool word = in.image.patternValues[k] != 0;
        picture.slots[k] = k >= in.image.patternSlots ? SlotKind::Beyond : word ? SlotKind::Word : SlotKind::Zero;
        if (word) picture.patternUsed = k + 1;
    }
    // An instruction may run past the end of memory; the figure stops there.
    picture.programUsed = in.program.usedEnd < kProgramNibbles ? in.program.usedEnd : kProgramNibbles;
}

void pictureSource(MemoryPicture& picture, const AsmState& st, const Record& record, const char* sourceName) {
    picture.title = sourceName;
    picture.record = &record;
    for (uint32_t a = 0; a < kProgramNibbles; a++) {
        const NibbleOwner& owner = record.nibbles[a];
        picture.fileAt[a] = owner.statement != 0 && owner.site.file != kNoFile ? owner.site.file : kUnusedNibble;
        picture.statementAt[a] = owner.statement;
    }
    prepareNames(picture.names, &st, kPatternSlots);
    // A source alone has no layout: qvek's default one decides which words a load file writes.
    picture.patternWritten = patternSlotsWritten(st);
    for (uint32_t k = 0; k < kPatternSlots; k++) {
        picture.patternValues[k] = st.patternMemory[k].value;
        const bool filled = record.patterns[k].file != kNoFile;
        if (k >= picture.patternWritten)
            picture.slots[k] = filled ? SlotKind::BeyondHeld : SlotKind::Beyond;
        else if (!filled)
            picture.slots[k] = SlotKind::Free;
        else
            picture.slots[k] = patternLabel(st, k)[0] != '\0' ? SlotKind::Labelled : SlotKind::Unlabelled;
    }
    picture.programUsed = st.programHighWater;
    picture.patternUsed = st.patternHighWater;
}

void writeMemorySvg(const MemoryPicture& p, FILE* out) {
    const int legendY = kGridY + kProgramRows * kCell + kLegendLine;
    const uint32_t files = p.record != nullptr ? p.record->files.count() : 1;
    const int fileLegendEnd = legendY + static_cast<int>(files + 1) * kLegendLine;
    const int slotLegendEnd = kGridY + kPatternRows * kCell + kLegendLine + 8 * kLegendLine;
    writeHeader(p, (fileLegendEnd > slotLegendEnd ? fileLegendEnd : slotLegendEnd) + kMargin, out);
    std::fprintf(out, "<g id=\"program\">\n");
    writeStatements(p, out);
    writeGridLines(kProgramX, kProgramColumns, kProgramRows, out);
    writeLabels(p, out);
    writeRowAddresses(kProgramX, kProgramRows, kProgramColumns, 3, out);
    writeFileLegend(p, legendY, out);
    std::fprintf(out, "</g>\n<g id=\"pattern\">\n");
    writeSlots(p, out);
    writeGridLines(kPatternX, kPatternColumns, kPatternRows, out);
    writeRowAddresses(kPatternX, kPatternRows, 2 * kPatternColumns, 4, out);
    writeSlotLegend(p, kGridY + kPatternRows * kCell + kLegendLine, out);
    std::fprintf(out, "</g>\n</svg>\n");
}

void writeXmlText(FILE* out, const char* text) {
    for (const auto* p = reinterpret_cast<const unsigned char*>(text); *p != '\0';) {
        const unsigned char c = *p;
        uint32_t code = 0;
        int length = 0;
        if (c >= 0x80) length = utf8Sequence(p, code);
        if (length > 0) {
            std::fprintf(out, "&#x%X;", code);
            p += length;
            continue;
        }
        switch (c) {
            case '&': std::fputs("&amp;", out); break;
            case '<': std::fputs("&lt;", out); break;
            case '>': std::fputs("&gt;", out); break;
            case '"': std::fputs("&quot;", out); break;
            case '\'': std::fputs("&apos;", out); break;
            default:
                // XML has no place for the other control characters, not even as references.
                if (c < 0x20 && c != '\t' && c != '\n' && c != '\r')
                    std::fputs("&#xFFFD;", out);
                else if (c >= 0x80)
                    std::fprintf(out, "&#x%X;", c);  // a byte of no UTF-8 character: taken as Latin-1
                else
                    std::fputc(c, out);
        }
        p++;
    }
}

}  // namespace qvek
