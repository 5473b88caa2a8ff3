#include "inspect/disassembler.h"

#include <cstdio>
#include <cstring>

#include "core/symbols.h"

namespace qvek {

namespace {

// The statement word that each opcode nibble stands for, and the pseudo instruction.
struct OpcodeWords {
    const Keyword* byOpcode[16] = {};
    const Keyword* jump = nullptr;
    constexpr OpcodeWords() {
        for (const Keyword& k : kKeywords) {
            if (k.layout == Layout::Jump) jump = &k;
            const auto code = static_cast<uint8_t>(k.code);
            if (k.layout != Layout::Directive && k.layout != Layout::Jump && code < 16) byOpcode[code] = &k;
        }
    }
};
constexpr OpcodeWords kOpcodeWords;

const InstructionFormat& formatOf(const Keyword& k) { return kFormats[static_cast<int>(k.layout)]; }

uint32_t fieldValue(const uint8_t* image, uint32_t address, const OperandField& field) {
    uint32_t value = 0;
    for (uint32_t n = field.nibbles; n-- > 0;) value = value * 16 + (image[address + field.offset + n] & 0xFu);
    return value;
}

// A name from names for the field's kind where there is one (constants only when
// nameConstants), otherwise the value as a number of the field's width.
void operandText(const OperandField& field, uint32_t value, const Names& names, bool nameConstants, char* text,
                 size_t size) {
    const char* name = nullptr;
    if (names.st != nullptr) {
        switch (field.kind) {
            case JumpLabel: {
                // A label can only be written where a statement of the listing starts.
                const int label = labelAt(names, value);
                if (label >= 0 && (names.program == nullptr || itemStartsAt(*names.program, value)))
                    name = programLabelName(*names.st, label);
                break;
            }
            case PatternLabel: name = patternLabelOf(names, value); break;
            case Constant: {
                const int constant = nameConstants ? constantNamed(names, value) : -1;
                if (constant >= 0) name = definitionName(*names.st, static_cast<uint32_t>(constant));
                break;
            }
        }
    }
    if (name != nullptr)
        copyText(text, static_cast<uint32_t>(size), name);
    else
        numberText(value, field.nibbles, text, size);
}

void buildStatement(const Instruction& instruction, const Names& names, bool nameConstants,
                    char (&text)[kStatementTextSize]) {
    size_t used = static_cast<size_t>(std::snprintf(text, sizeof text, "%s", instruction.keyword->word));
    const InstructionFormat& format = *instruction.format;
    for (uint8_t i = 0; i < format.fieldCount; i++) {
        const OperandField& field = format.fields[i];
        if (field.fixedText != nullptr) continue;  // JMP's condition is implied
        char operand[kTokenBufferSize];
        operandText(field, instruction.fieldValues[i], names, nameConstants, operand, sizeof operand);
        used += static_cast<size_t>(std::snprintf(text + used, sizeof text - used, " %s", operand));
    }
}

// The field of the pseudo instruction that is fixed (JMP's condition), or -1.
int fixedField(const InstructionFormat& format) {
    for (int i = 0; i < format.fieldCount; i++)
        if (format.fields[i].fixedText != nullptr) return i;
    return -1;
}

}  // namespace

void prepareNames(Names& names, const AsmState* st, uint32_t patternSlots) {
    names.st = st;
    names.patternSlots = patternSlots;
    names.program = nullptr;
    for (int16_t& first : names.firstLabel) first = -1;
    for (int16_t& next : names.nextLabel) next = -1;
    for (bool& first : names.firstDefinition) first = false;
    if (st == nullptr) return;
    // Label entries chained by address, in table order; a repeated name counts once, as lookups see it.
    int16_t last[kProgramNibbles];
    const uint32_t labels = st->labelCount < kMaxProgramLabels ? st->labelCount : kMaxProgramLabels;
    for (uint32_t i = 0; i < labels; i++) {
        const auto address = static_cast<uint32_t>(st->programLabels[i].address);
        if (address >= kProgramNibbles || findProgramLabel(*st, programLabelName(*st, i)) != static_cast<int>(i))
            continue;
        const auto index = static_cast<int16_t>(i);
        if (names.firstLabel[address] < 0)
            names.firstLabel[address] = index;
        else
            names.nextLabel[last[address]] = index;
        last[address] = index;
    }
    const uint32_t definitions = st->definitionCount < kMaxDefinitions ? st->definitionCount : kMaxDefinitions;
    for (uint32_t i = 0; i < definitions; i++) {
        const char* name = definitionName(*st, i);
        names.firstDefinition[i] = name[0] == '#' && findDefinition(*st, name, i + 1) == static_cast<int>(i);
    }
}

int labelAt(const Names& names, uint32_t address) {
    return names.st != nullptr && address < kProgramNibbles ? names.firstLabel[address] : -1;
}

int nextLabelAt(const Names& names, int label) {
    return label >= 0 && label < static_cast<int>(kMaxProgramLabels) ? names.nextLabel[label] : -1;
}

Instruction decodeInstruction(const uint8_t* image, uint32_t address) {
    Instruction instruction;
    instruction.keyword = kOpcodeWords.byOpcode[image[address] & 0xF];
    instruction.format = &formatOf(*instruction.keyword);
    for (uint8_t i = 0; i < instruction.format->fieldCount; i++)
        instruction.fieldValues[i] = fieldValue(image, address, instruction.format->fields[i]);
    // JCB target 0 is what JMP target assembles to: JMP's opcode with its fixed condition "0".
    const InstructionFormat& jump = formatOf(*kOpcodeWords.jump);
    const int fixed = fixedField(jump);
    if (static_cast<int>(instruction.keyword->code) == jump.opcode && fixed >= 0 &&
        instruction.format->fieldCount == jump.fieldCount && instruction.fieldValues[fixed] == 0) {
        instruction.keyword = kOpcodeWords.jump;
        instruction.format = &jump;
    }
    return instruction;
}

void disassemble(const uint8_t* image, uint32_t end, const Names& names, Disassembly& out) {
    out.end = end;
    out.count = 0;
    out.usedEnd = 0;
    // Zero nibbles are one-nibble NOPs, so the instructions start at the same
    // places however the zero runs are split.
    for (uint32_t a = 0; a < end;) {
        if (image[a] == 0) {
            a++;
            continue;
        }
        a += decodeInstruction(image, a).format->size;
        out.usedEnd = a;
    }
    for (uint32_t a = 0; a < end;) {
        if (image[a] != 0) {
            ProgramItem& item = out.items[out.count++];
            item.kind = ItemKind::Instruction;
            item.address = a;
            item.instruction = decodeInstruction(image, a);
            item.size = item.instruction.format->size;
            a += item.size;
            continue;
        }
        uint32_t b = a + 1;
        while (b < end && image[b] == 0 && labelAt(names, b) < 0) b++;
        if (b - a >= kMinZeroRun || a >= out.usedEnd) {
            ProgramItem& item = out.items[out.count++];
            item.kind = ItemKind::ZeroRun;
            item.address = a;
            item.size = b - a;
        } else {
            for (uint32_t n = a; n < b; n++) {
                ProgramItem& item = out.items[out.count++];
                item.kind = ItemKind::Instruction;
                item.address = n;
                item.instruction = decodeInstruction(image, n);
                item.size = 1;
            }
        }
        a = b;
    }
}

bool itemStartsAt(const Disassembly& program, uint32_t address) {
    uint32_t low = 0, high = program.count;
    while (low < high) {
        const uint32_t middle = (low + high) / 2;
        if (program.items[middle].address < address)
            low = middle + 1;
        else
            high = middle;
    }
    return low < program.count && program.items[low].address == address;
}

void statementText(const Instruction& instruction, const Names& names, char (&text)[kStatementTextSize]) {
    buildStatement(instruction, names, true, text);
    // A source line holds at most kMaxLineLength characters: a long constant name gives way to its value.
    if (std::strlen(text) > kMaxLineLength) buildStatement(instruction, names, false, text);
}

void numberText(uint32_t value, uint32_t digits, char* text, size_t size) {
    std::snprintf(text, size, "H%0*X", static_cast<int>(digits), value);
}

int constantNamed(const Names& names, uint32_t value) {
    if (names.st == nullptr) return -1;
    int found = -1;
    const uint32_t definitions =
        names.st->definitionCount < kMaxDefinitions ? names.st->definitionCount : kMaxDefinitions;
    for (uint32_t i = 0; i < definitions; i++) {
        if (!names.firstDefinition[i] || static_cast<uint32_t>(names.st->definitions[i].value) != value) continue;
        if (found >= 0) return -1;  // ambiguous: the number says more than a guess
        found = static_cast<int>(i);
    }
    return found;
}

const char* patternLabelOf(const Names& names, uint32_t slot) {
    if (names.st == nullptr || slot >= names.patternSlots || slot >= kPatternSlots) return nullptr;
    // LPP looks up only '#' names, and finds the first slot of each.
    const char* label = patternLabel(*names.st, slot);
    if (label[0] != '#' || findPatternLabel(*names.st, label) != static_cast<int>(slot)) return nullptr;
    return label;
}

}  // namespace qvek
