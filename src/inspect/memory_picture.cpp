#include "inspect/memory_picture.h"

#include <cmath>
#include <cstdlib>
#include <string>
#include <vector>

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
constexpr int kProgramRight = kPatternX - 36;  // labels at a row's end may run on, short of the row addresses
constexpr int kLabelSize = 8;                  // font size of labels and row addresses
constexpr int kTextSize = 10;                  // font size of the legends and headlines
constexpr int kTitleSize = 16;
constexpr int kListedLabels = 32;  // pattern labels the legend lists; the rest are named by their tooltips
// A monospace character's advance, in em: the fonts renderers choose for
// "monospace" keep within it, and a wide (East Asian) character takes two.
constexpr double kAdvance = 0.6;
constexpr char kPlain[] = "#ffffff";  // unused memory
constexpr char kGridLine[] = "#d8d8d8";

// The files' colours, light enough for dark text and far apart in hue and
// lightness, also as the common colour-vision deficiencies see them. A file
// takes its colour by rank among the files that own program nibbles; from the
// ninth on they repeat, and the statement's tooltip names its file.
constexpr const char* kFileColours[] = {"#77aadd", "#ee8866", "#eedd88", "#ffaabb",
                                        "#99ddff", "#44bb99", "#bbcc33", "#aaaa00"};
constexpr uint32_t kFileColourCount = sizeof kFileColours / sizeof kFileColours[0];

struct SlotStyle {
    const char* fill;
    const char* legend;
};

// One entry per SlotKind, in its order.
// One entry per SlotKind, in its order. Words are dark or strong and the
// files' colours light, so no colour of one grid passes for one of the other,
// in any common colour vision.
constexpr SlotStyle kSlotStyles[] = {
    {kPlain, "free: no PAT fills it"},
    {"#332288", "word with a label"},
    {"#882255", "word without a label"},
    {kPlain, "zero word"},
    {"#332288", "word not zero"},
    {"#dddddd", "beyond the words the load file writes"},
    {"#cc3311", "a PAT's word beyond them: never loaded"},
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

// The bytes of the first character of text and its width in advances: two
// for a wide character, one for any other and for a byte of no UTF-8 character.
int characterWidth(const unsigned char* text, int& bytes) {
    uint32_t code = 0;
    bytes = text[0] >= 0x80 ? utf8Sequence(text, code) : 0;
    if (bytes == 0) bytes = 1;
    return code >= 0x1100 ? 2 : 1;
}

// How much of a text fits a room: all of it, a beginning to stand before an
// ellipsis, or nothing (bytes 0, not whole).
struct Fit {
    size_t bytes = 0;
    bool whole = false;
};

Fit fitText(const char* text, double room, int size) {
    const auto* p = reinterpret_cast<const unsigned char*>(text);
    const auto advances = static_cast<long>(std::floor(room / (kAdvance * size)));
    long used = 0;
    Fit fit;
    for (size_t at = 0; p[at] != '\0';) {
        int bytes;
        used += characterWidth(p + at, bytes);
        if (used > advances) return fit;
        if (used + 1 <= advances) fit.bytes = at + bytes;  // still room for the ellipsis
        at += bytes;
    }
    fit.bytes = std::char_traits<char>::length(text);
    fit.whole = true;
    return fit;
}

// Writes what fits of a text, an ellipsis marking a shortened one.
void writeFitted(FILE* out, const char* text, Fit fit) {
    std::string kept(text, fit.bytes);
    writeXmlText(out, kept.c_str());
    if (!fit.whole) std::fputs("&#x2026;", out);
}

// A text element holding what fits of text in room, and the whole text as its
// tooltip when it was shortened; nothing when not even one character fits.
void writeTextIn(FILE* out, int x, int y, int size, const char* text, double room) {
    const Fit fit = fitText(text, room, size);
    if (fit.whole ? text[0] == '\0' : fit.bytes == 0) return;
    std::fprintf(out, "<text x=\"%d\" y=\"%d\"", x, y);
    if (size != kTextSize) std::fprintf(out, " font-size=\"%d\"", size);
    std::fputc('>', out);
    if (!fit.whole) {
        std::fputs("<title>", out);
        writeXmlText(out, text);
        std::fputs("</title>", out);
    }
    writeFitted(out, text, fit);
    std::fputs("</text>\n", out);
}

// Which files own program nibbles, in file order, and each one's rank among
// them (-1 for a file owning none): the legend lists them, the ranks pick colours.
struct FileOwners {
    std::vector<uint32_t> files;
    std::vector<int> rank;
};

FileOwners fileOwners(const MemoryPicture& p) {
    FileOwners owners;
    owners.rank.assign(p.record != nullptr ? p.record->files.count() : 1, -1);
    for (uint32_t file : p.fileAt)
        if (file != kUnusedNibble && file < owners.rank.size()) owners.rank[file] = 0;
    for (uint32_t f = 0; f < owners.rank.size(); f++)
        if (owners.rank[f] == 0) {
            owners.rank[f] = static_cast<int>(owners.files.size());
            owners.files.push_back(f);
        }
    return owners;
}

const char* fileColour(const FileOwners& owners, uint32_t file) {
    return kFileColours[static_cast<uint32_t>(owners.rank[file]) % kFileColourCount];
}

const char* plural(uint32_t count, const char* one, const char* more) { return count == 1 ? one : more; }

void writeHeader(const MemoryPicture& p, int height, FILE* out) {
    std::fprintf(out,
                 "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
                 "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"%d\" height=\"%d\" viewBox=\"0 0 %d %d\" "
                 "font-family=\"monospace\" font-size=\"%d\">\n<title>Memories of ",
                 kWidth, height, kWidth, height, kTextSize);
    writeXmlText(out, p.title);
    std::fprintf(out, "</title>\n<rect width=\"%d\" height=\"%d\" fill=\"%s\"/>\n", kWidth, height, kPlain);
    const bool source = p.record != nullptr;
    std::string title = p.title;
    if (!source) title += " (a load file alone: no files or names)";
    writeTextIn(out, kMargin, 24, kTitleSize, title.c_str(), kWidth - 2 * kMargin);
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
        std::fprintf(out, "<text x=\"%d\" y=\"%d\" text-anchor=\"end\" font-size=\"%d\">0x%0*x</text>\n", x - 4,
                     kGridY + r * kCell + kCell - 3, kLabelSize, digits, r * step);
}

// Each statement's nibbles, a rectangle for each row it covers.
void writeStatements(const MemoryPicture& p, const FileOwners& owners, FILE* out) {
    for (uint32_t a = 0; a < kProgramNibbles;) {
        const uint32_t file = p.fileAt[a];
        uint32_t end = a + 1;
        while (end < kProgramNibbles && end % kProgramColumns != 0 && p.fileAt[end] == file &&
               p.statementAt[end] == p.statementAt[a])
            end++;
        if (file != kUnusedNibble) {
            std::fprintf(out,
                         "<rect x=\"%u\" y=\"%u\" width=\"%u\" height=\"%d\" fill=\"%s\" stroke=\"#303030\" "
                         "stroke-width=\"0.5\">",
                         kProgramX + a % kProgramColumns * kCell, kGridY + a / kProgramColumns * kCell,
                         (end - a) * kCell, kCell, fileColour(owners, file));
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

// A mark on a named cell and, beside it, what fits of its name before the
// next named cell of the row (or `right`), the whole name as the tooltip.
void writeCellLabel(FILE* out, int x, int y, const char* name, int nextX, const char* mark) {
    std::fputs("<g><title>", out);
    writeXmlText(out, name);
    std::fprintf(out, "</title><rect x=\"%d\" y=\"%d\" width=\"2\" height=\"%d\" fill=\"%s\"/>\n", x, y, kCell, mark);
    writeTextIn(out, x + 3, y + kCell - 3, kLabelSize, name, nextX - 1 - (x + 3));
    std::fputs("</g>\n", out);
}

// The labels where they fall; several naming one address share its mark.
void writeLabels(const MemoryPicture& p, FILE* out) {
    for (uint32_t a = 0; a < kProgramNibbles; a++) {
        int label = labelAt(p.names, a);
        if (label < 0) continue;
        std::string names;
        for (; label >= 0; label = nextLabelAt(p.names, label)) {
            if (!names.empty()) names += ' ';
            names += programLabelName(*p.names.st, label);
        }
        uint32_t next = a + 1;
        while (next % kProgramColumns != 0 && labelAt(p.names, next) < 0) next++;
        const int nextX = next % kProgramColumns != 0 ? kProgramX + static_cast<int>(next % kProgramColumns) * kCell
                                                      : kProgramRight;
        writeCellLabel(out, kProgramX + static_cast<int>(a % kProgramColumns) * kCell,
                       kGridY + static_cast<int>(a / kProgramColumns) * kCell, names.c_str(), nextX, "#000000");
    }
}

const char* slotLabel(const MemoryPicture& p, uint32_t k) {
    return p.names.st != nullptr ? patternLabel(*p.names.st, k) : "";
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
            if (slotLabel(p, k)[0] != '\0') {
                std::fputc(' ', out);
                writeXmlText(out, slotLabel(p, k));
            }
            std::fprintf(out, "</title></rect>\n");
        }
        k++;
    }
}

// Pattern labels beside their words, where the row has room before the next
// labelled word: the label starts in the cell after its word, which is dark.
void writeSlotLabels(const MemoryPicture& p, FILE* out) {
    constexpr int kRowEnd = kWidth - 2;
    for (uint32_t k = 0; k < kPatternSlots; k++) {
        if (slotLabel(p, k)[0] == '\0') continue;
        uint32_t next = k + 1;
        while (next % kPatternColumns != 0 && slotLabel(p, next)[0] == '\0') next++;
        const int x = kPatternX + static_cast<int>(k % kPatternColumns) * kCell;
        const int nextX =
            next % kPatternColumns != 0 ? kPatternX + static_cast<int>(next % kPatternColumns) * kCell : kRowEnd;
        if (nextX - x < 3 * kCell) continue;  // no room for two characters: the legend lists it
        writeCellLabel(out, x + kCell, kGridY + static_cast<int>(k / kPatternColumns) * kCell, slotLabel(p, k), nextX,
                       kSlotStyles[static_cast<int>(SlotKind::Labelled)].fill);
    }
}

// A swatch and what fits of its text in what is left of the grid's width;
// returns the next entry's height.
int writeLegendEntry(int x, int y, const char* fill, const char* text, int right, FILE* out) {
    std::fprintf(out,
                 "<rect x=\"%d\" y=\"%d\" width=\"%d\" height=\"%d\" fill=\"%s\" stroke=\"#303030\" "
                 "stroke-width=\"0.5\"/>\n",
                 x, y, kCell, kCell, fill);
    writeTextIn(out, x + kCell + 6, y + kCell - 2, kTextSize, text, right - (x + kCell + 6));
    return y + kLegendLine;
}

int writeHeading(int x, int y, const char* text, FILE* out) {
    std::fprintf(out, "<text x=\"%d\" y=\"%d\" font-weight=\"bold\">%s</text>\n", x, y + kCell - 2, text);
    return y + kLegendLine;
}

// The files that own program nibbles, in their colours.
int writeFileLegend(const MemoryPicture& p, const FileOwners& owners, int y, FILE* out) {
    y = writeHeading(kProgramX, y, p.record != nullptr ? "Program nibbles, by file" : "Program nibbles", out);
    y = writeLegendEntry(kProgramX, y, kPlain, "unused", kProgramRight, out);
    for (uint32_t f : owners.files)
        y = writeLegendEntry(kProgramX, y, fileColour(owners, f),
                             p.record != nullptr ? p.record->files.name(f) : "instructions", kProgramRight, out);
    return y;
}

// The kinds of pattern slot shown, the words a load file writes, and the
// labelled words by host address (the first kListedLabels of them).
int writeSlotLegend(const MemoryPicture& p, int y, FILE* out) {
    y = writeHeading(kPatternX, y, "Pattern words", out);
    bool shown[static_cast<int>(SlotKind::Count)] = {};
    for (SlotKind kind : p.slots) shown[static_cast<int>(kind)] = true;
    for (int kind = 0; kind < static_cast<int>(SlotKind::Count); kind++) {
        if (!shown[kind]) continue;
        y = writeLegendEntry(kPatternX, y, kSlotStyles[kind].fill, kSlotStyles[kind].legend, kWidth - kMargin, out);
    }
    std::fprintf(out, "<text x=\"%d\" y=\"%d\">%s %u %s.</text>\n", kPatternX, y + kCell - 2,
                 p.record != nullptr ? "A load file of the configuration-tool layout writes" : "The load file writes",
                 p.patternWritten, plural(p.patternWritten, "word", "words"));
    y += kLegendLine;
    uint32_t listed = 0, labelled = 0;
    for (uint32_t k = 0; k < kPatternSlots; k++) {
        if (slotLabel(p, k)[0] == '\0') continue;
        if (labelled++ == 0) y = writeHeading(kPatternX, y + kLegendLine / 2, "Pattern labels", out);
        if (listed == kListedLabels) continue;
        char line[32];
        std::snprintf(line, sizeof line, "0x%4.4x 0x%8.8x ", 2 * k, p.patternValues[k]);
        const std::string text = line + std::string(slotLabel(p, k));
        writeTextIn(out, kPatternX, y + kCell - 2, kTextSize, text.c_str(), kWidth - kMargin - kPatternX);
        y += kLegendLine;
        listed++;
    }
    if (labelled > listed) {
        std::fprintf(out, "<text x=\"%d\" y=\"%d\">and %u more: their words' tooltips name them</text>\n", kPatternX,
                     y + kCell - 2, labelled - listed);
        y += kLegendLine;
    }
    return y;
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
    const FileOwners owners = fileOwners(p);
    // The legends are drawn into a scratch stream first: their length sets the picture's height.
    char* legends = nullptr;
    size_t legendsSize = 0;
    FILE* scratch = open_memstream(&legends, &legendsSize);
    int height = kGridY + kPatternRows * kCell;
    if (scratch != nullptr) {
        std::fprintf(scratch, "<g id=\"legends\">\n");
        const int programEnd = writeFileLegend(p, owners, kGridY + kProgramRows * kCell + kLegendLine, scratch);
        const int patternEnd = writeSlotLegend(p, kGridY + kPatternRows * kCell + kLegendLine, scratch);
        std::fprintf(scratch, "</g>\n");
        std::fclose(scratch);
        height = programEnd > patternEnd ? programEnd : patternEnd;
    }
    if (scratch == nullptr) {  // no memory for it: the legends' longest possible height, drawn in place
        const int files = static_cast<int>(owners.files.size()) + 2;
        const int slots = static_cast<int>(SlotKind::Count) + kListedLabels + 5;
        height = kGridY + (files > slots ? kProgramRows * kCell + files * kLegendLine
                                         : kPatternRows * kCell + slots * kLegendLine) + kLegendLine;
    }
    writeHeader(p, height + kMargin, out);
    std::fprintf(out, "<g id=\"program\">\n");
    writeStatements(p, owners, out);
    writeGridLines(kProgramX, kProgramColumns, kProgramRows, out);
    writeLabels(p, out);
    writeRowAddresses(kProgramX, kProgramRows, kProgramColumns, 3, out);
    std::fprintf(out, "</g>\n<g id=\"pattern\">\n");
    writeSlots(p, out);
    writeGridLines(kPatternX, kPatternColumns, kPatternRows, out);
    writeSlotLabels(p, out);
    writeRowAddresses(kPatternX, kPatternRows, 2 * kPatternColumns, 4, out);
    std::fprintf(out, "</g>\n");
    if (scratch == nullptr) {
        writeFileLegend(p, owners, kGridY + kProgramRows * kCell + kLegendLine, out);
        writeSlotLegend(p, kGridY + kPatternRows * kCell + kLegendLine, out);
    } else if (legends != nullptr) {
        std::fwrite(legends, 1, legendsSize, out);
    }
    std::free(legends);
    std::fprintf(out, "</svg>\n");
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
