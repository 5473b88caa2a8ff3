#include "diag/historical.h"

#include <cstdio>
#include <cstring>

#include "core/keywords.h"
#include "core/numbers.h"
#include "diag/hints.h"
#include "source/token_spans.h"

namespace qvek::diag {

namespace {

// How a message's words give its code: the first rule whose two parts both occur.
struct MessageRule {
    const char* key;
    const char* also;  // null: the key alone decides
    Code code;
};

constexpr MessageRule kRules[] = {
    {"Jump Address Label ", nullptr, Code::UndefinedJumpLabel},
    {"Pattern Memory Label ", nullptr, Code::UndefinedPatternLabel},
    {"Definition for ", "possibly missing", Code::NumberNotName},
    {"Definition for ", " is not defined", Code::UndefinedConstant},
    {"Operand missing", nullptr, Code::OperandMissing},
    {"Program address beyond program memory", nullptr, Code::SourceChanged},
    {"read differently on pass 2", nullptr, Code::SourceChanged},
    {"Program address 0x", nullptr, Code::AddressOutside},
    {"has overflowed precision", nullptr, Code::FieldOverflow},
    {"does not fit in 32 bits", nullptr, Code::NumberTooLarge},
    {"Token longer than", nullptr, Code::TokenTooLong},
    {" is longer than ", " characters. Assembly stopped", Code::LineTooLong},
    {"holds a zero byte", nullptr, Code::ZeroByte},
    {"is the last a line number can count", nullptr, Code::TooManyLines},
    {"Could not read file", nullptr, Code::ReadFailed},
    {"Out of memory", nullptr, Code::OutOfMemory},
    {"Include file ", "cannot be read on both passes", Code::IncludeNotPlain},
    {"Include file ", "is the target file", Code::IncludeIsTarget},
    {"Could not open include file ", nullptr, Code::IncludeNotFound},
    {"INCLUDE Level Overflow", nullptr, Code::IncludeTooDeep},
    {"PAT address ", "beyond pattern memory", Code::PatternAddressBeyond},
    {"Absolute Pattern memory value ", nullptr, Code::PatternLabelOverwritten},
    {"Pattern memory segment space", nullptr, Code::PatternMemoryFull},
    {"Definition storage space", nullptr, Code::ConstantTableFull},
    {"program label space exhausted", nullptr, Code::LabelTableFull},
    {"program segment space", nullptr, Code::ProgramMemoryFull},
    {"ORG statement", "program memory", Code::ProgramOriginBeyond},
    {"ORG statement", "pattern memory", Code::PatternOriginBeyond},
    {"INCLUDE File name missing", nullptr, Code::IncludeNameMissing},
    {"Undefined SYNTAX ERROR", nullptr, Code::UnknownWord},
    {"Pattern memory value ", "will not be loaded", Code::PatternNotLoaded},
};

// The word that follows key in text, up to a blank or a line break; empty when key does not occur.
std::string subjectAfter(const std::string& text, const char* key) {
    const size_t at = text.find(key);
    if (at == std::string::npos) return {};
    const size_t begin = at + std::strlen(key);
    const size_t end = text.find_first_of(" \n", begin);
    return text.substr(begin, end == std::string::npos ? std::string::npos : end - begin);
}

uint32_t hexAfter(const std::string& text, const char* key) {
    return static_cast<uint32_t>(std::strtoul(subjectAfter(text, key).c_str(), nullptr, 16));
}

// The message as one line: its line breaks and the blanks after them made one blank, none leading.
std::string historicalWords(const std::string& text) {
    std::string words;
    for (size_t i = 0; i < text.size(); i++) {
        if (text[i] != '\n') {
            words += text[i];
            continue;
        }
        while (i + 1 < text.size() && text[i + 1] == ' ') i++;
        if (!words.empty() && words.back() != ' ') words += ' ';
    }
    while (!words.empty() && words.back() == ' ') words.pop_back();
    return words;
}

std::string quoted(const std::string& s) { return "`" + s + "`"; }

std::string hex(uint32_t value) {
    char text[16];
    std::snprintf(text, sizeof text, "0x%x", value);
    return text;
}

// The token of the statement at a place whose text is name, or -1.
int16_t tokenNamed(const Report& report, Place place, const std::string& name, bool withoutZeros) {
    if (place.line <= 0 || place.file >= report.files.size()) return kWholeLine;
    const CheckedFile& file = report.files[place.file];
    if (static_cast<size_t>(place.line) > file.lines.size()) return kWholeLine;
    const size_t count = tokenSpans(file.lines[place.line - 1]).size();
    for (size_t i = 0; i < count; i++) {
        place.token = static_cast<int16_t>(i);
        std::string text = tokenText(report, place);
        if (withoutZeros) text.erase(0, std::min(text.find_first_not_of('0'), text.size()));
        if (text == name) return place.token;
    }
    return kWholeLine;
}

// The instruction field a pass fills, for the statement word at a place.
const OperandField* fieldOf(const Report& report, const Place& word, uint8_t pass) {
    const std::string text = tokenText(report, word);
    const InstructionFormat* format = instructionFormat(lookupKeyword(text.c_str()));
    if (format == nullptr) return nullptr;
    for (uint8_t i = 0; i < format->fieldCount; i++)
        if (format->fields[i].pass == pass && format->fields[i].fixedText == nullptr) return &format->fields[i];
    return nullptr;
}

// The table a token in operand n of the statement at a place is looked up in.
OperandKind tableOf(const Report& report, const Place& word, uint32_t operand) {
    const std::string text = tokenText(report, word);
    if (const InstructionFormat* format = instructionFormat(lookupKeyword(text.c_str())))
        for (uint8_t i = 0; i < format->fieldCount; i++)
            if (format->fields[i].operand == operand) return format->fields[i].kind;
    return Constant;
}

OperandKind undefinedTable(Code code) {
    switch (code) {
        case Code::UndefinedJumpLabel: return JumpLabel;
        case Code::UndefinedPatternLabel: return PatternLabel;
        default: return Constant;
    }
}

bool isUndefinedName(Code code) {
    return code == Code::UndefinedJumpLabel || code == Code::UndefinedPatternLabel ||
           code == Code::UndefinedConstant || code == Code::UndefinedConstantIgnored;
}

Place operandPlace(const Report& report, Place at, uint32_t operand) {
    at.token = static_cast<int16_t>(wordToken(report, at.file, at.line) + operand);
    return at;
}

// The words, the place and the hints of one message.
void convert(const Gathered& g, const RawMessage& m, uint32_t unreported, Collector& c) {
    const Report& report = g.report;
    const std::string& text = m.text;
    Place at = m.place;
    Place word = at;
    word.token = wordToken(report, at.file, at.line);
    const std::string wordText = tokenText(report, word);
    std::string words;
    uint64_t order = orderOf(at, m.pass == 2 ? 1 : 0);
    auto related = [&](const Place& p, std::string message) { return Related{rangeOf(report, p), std::move(message)}; };
    std::vector<Related> also;
    switch (m.code) {
        case Code::UndefinedJumpLabel:
        case Code::UndefinedPatternLabel:
        case Code::UndefinedConstant:
        case Code::UndefinedConstantIgnored: {
            const std::string name = subjectAfter(text, m.code == Code::UndefinedJumpLabel      ? "Jump Address Label "
                                                        : m.code == Code::UndefinedPatternLabel ? "Pattern Memory Label "
                                                                                                : "Definition for ");
            at.token = tokenNamed(report, at, name, false);
            const char* kind = m.code == Code::UndefinedJumpLabel      ? "jump label "
                               : m.code == Code::UndefinedPatternLabel ? "pattern label "
                                                                       : "constant ";
            words = kind + quoted(name) + " is not defined";
            if (m.code == Code::UndefinedConstantIgnored) words += "; the statement goes on without it";
            break;
        }
        case Code::NumberNotName: {
            const std::string rest = subjectAfter(text, "Definition for ");
            at.token = tokenNamed(report, at, rest, true);
            const std::string token = at.token >= 0 ? tokenText(report, at) : rest;
            words = quoted(token) + " is not a number: it is read as " + std::to_string(readNumber(token.c_str()).value) +
                    "; possibly a missing `#`";
            break;
        }
        case Code::NumberTooLarge: {
            const std::string token = subjectAfter(text, "Number ");
            at.token = tokenNamed(report, at, token, false);
            words = "number " + quoted(token) + " does not fit in 32 bits: its low 32 bits, " +
                    hex(readNumber(token.c_str()).value) + ", are used";
            break;
        }
        case Code::FieldOverflow: {
            const uint32_t value = hexAfter(text, "Value (0x");
            const uint32_t kept = hexAfter(text, "truncated to 0x");
            const OperandField* field = fieldOf(report, word, m.pass);
            if (field != nullptr) at = operandPlace(report, at, field->operand);
            words = "value " + hex(value) + " does not fit the " + std::to_string(field != nullptr ? field->nibbles : 0) +
                    "-nibble field of " + quoted(wordText) + ": " + hex(kept) + " is kept";
            break;
        }
        case Code::OperandMissing: {
            const OperandField* field = fieldOf(report, word, m.pass);
            at = word;
            words = quoted(wordText) + " lacks operand " + std::to_string(field != nullptr ? field->operand : 1);
            break;
        }
        case Code::TokenTooLong: {
            at.token = kWholeLine;
            if (at.line > 0 && static_cast<size_t>(at.line) <= report.files[at.file].lines.size()) {
                const auto spans = tokenSpans(report.files[at.file].lines[at.line - 1]);
                for (size_t i = 0; i < spans.size() && at.token < 0; i++)
                    if (spans[i].end - spans[i].begin > kMaxTokenLength) at.token = static_cast<int16_t>(i);
            }
            words = "token longer than " + std::to_string(kMaxTokenLength) + " characters";
            break;
        }
        case Code::LineTooLong:
            words = "line longer than " + std::to_string(kMaxLineLength) + " characters before its comment";
            break;
        case Code::ZeroByte: words = "line holds a zero byte"; break;
        case Code::TooManyLines: words = "file goes on past the last line a line number can count"; break;
        case Code::ReadFailed: words = "file could not be read to its end"; break;
        case Code::OutOfMemory: words = "no memory left for the file's line buffers"; break;
        case Code::IncludeNotFound:
        case Code::IncludeNotPlain:
        case Code::IncludeIsTarget:
        case Code::IncludeTooDeep: {
            at = operandPlace(report, at, 1);
            const std::string name = tokenText(report, at);
            words = m.code == Code::IncludeNotFound   ? "include file " + quoted(name) + " could not be opened"
                    : m.code == Code::IncludeNotPlain ? "include file " + quoted(name) +
                                                            " is not a plain file and cannot be read on both passes"
                    : m.code == Code::IncludeIsTarget ? "include file " + quoted(name) + " is the load file written"
                                                      : "include files nest deeper than " +
                                                            std::to_string(kMaxIncludeDepth) + " levels";
            break;
        }
        case Code::PatternAddressBeyond:
            at = operandPlace(report, at, 3);
            words = "PAT address " + quoted(tokenText(report, at)) + " lies beyond pattern memory (0 to " +
                    std::to_string(kHostPatternAddresses - 1) + ")";
            break;
        case Code::PatternLabelOverwritten: {
            at = operandPlace(report, at, 1);
            const std::string label = subjectAfter(text, "assigned label ");
            const uint32_t slot = hexAfter(text, "address ox");
            words = "PAT stores over the pattern word " + quoted(label) + " at host address " + hex(2 * slot);
            // The last PAT at the slot before this one stored the word it overwrites.
            for (const NameDefinition& d : g.definitions)
                if (d.table == PatternLabel && d.entry == slot && d.place.ordinal < at.ordinal)
                    also = {related(d.place, quoted(label) + " was stored here")};
            break;
        }
        case Code::PatternMemoryFull: at = word; words = "no free pattern slot is left for this PAT"; break;
        case Code::ConstantTableFull:
            at = operandPlace(report, at, 1);
            words = "constant " + quoted(tokenText(report, at)) + " is one more than the " +
                    std::to_string(kMaxDefinitions) + " the table holds";
            break;
        case Code::LabelTableFull:
            at.token = 0;
            words = "program label " + quoted(tokenText(report, at)) + " is one more than the " +
                    std::to_string(kMaxProgramLabels) + " the table holds";
            break;
        case Code::ProgramMemoryFull:
            at = word;
            words = "the program runs past the end of program memory (" + std::to_string(kProgramNibbles) + " nibbles)";
            break;
        case Code::AddressOutside: at = word; words = quoted(wordText) + " would lie outside program memory"; break;
        case Code::SourceChanged: words = "the source read differently on the second pass: it changed meanwhile"; break;
        case Code::ProgramOriginBeyond:
        case Code::PatternOriginBeyond:
            at = operandPlace(report, at, 2);
            words = std::string(m.code == Code::ProgramOriginBeyond ? "ORG PGM" : "ORG PAT") + " address " +
                    quoted(tokenText(report, at)) + " lies beyond " +
                    (m.code == Code::ProgramOriginBeyond ? "program" : "pattern") + " memory; the origin stays";
            break;
        case Code::IncludeNameMissing: at = word; words = "INC names no file; the line is ignored"; break;
        case Code::PatternNotLoaded: {
            const std::string label = subjectAfter(text, "Pattern memory value ");
            const uint32_t slot = hexAfter(text, "at address 0x") / 2;
            if (slot < kPatternSlots && g.definitionOf[PatternLabel][slot] >= 0) {
                at = g.definitions[g.definitionOf[PatternLabel][slot]].place;
                order = orderOf(at, 0);
            }
            words = "pattern word " + quoted(label) + " at host address " + hex(2 * slot) +
                    " lies beyond the words the load file holds and is not loaded";
            break;
        }
        case Code::UnknownWord:
            at = word;
            words = quoted(wordText) + " is not a statement word; the line is ignored";
            break;
        default: words = historicalWords(text); break;
    }
    Diagnostic d = makeDiagnostic(report, m.code, at, std::move(words));
    d.level = m.severity == Severity::Error ? Level::Error : Level::Warning;
    d.historical = historicalWords(text);
    d.related = std::move(also);
    if (m.code == Code::ZeroByte && at.line > 0 && static_cast<size_t>(at.line) <= report.files[at.file].lines.size()) {
        const std::string_view line = report.files[at.file].lines[at.line - 1];
        const size_t zero = line.find('\0');
        if (zero != std::string::npos) d.range.firstColumn = d.range.lastColumn = static_cast<uint32_t>(zero + 1);
    }
    c.open(order, std::move(d));
    switch (m.code) {
        case Code::UnknownWord: hintWord(g, at, wordText, c); break;
        case Code::UndefinedJumpLabel:
        case Code::UndefinedPatternLabel:
        case Code::UndefinedConstant:
        case Code::UndefinedConstantIgnored:
            if (at.token >= 0) hintName(g, at, undefinedTable(m.code), tokenText(report, at), c);
            break;
        case Code::NumberNotName:
            if (at.token >= 0)
                hintMissingHash(g, at, tableOf(report, word, static_cast<uint32_t>(at.token - word.token)),
                                tokenText(report, at), c);
            break;
        case Code::IncludeNotFound: hintIncludeCase(g, at, tokenText(report, at), c); break;
        default: break;
    }
    if (unreported > 0)
        c.add(makeDiagnostic(report, Code::NamesNotReported, at,
                             std::to_string(unreported) +
                                 " later uses of undefined names are not reported: the file not read may define them"));
}

}  // namespace

Code codeOfMessage(Severity severity, const char* text) {
    for (const MessageRule& rule : kRules) {
        if (std::strstr(text, rule.key) == nullptr || (rule.also != nullptr && std::strstr(text, rule.also) == nullptr))
            continue;
        // DEF, PAT without an address and ORG warn and go on; operands of instructions fail.
        if (rule.code == Code::UndefinedConstant && severity == Severity::Warning) return Code::UndefinedConstantIgnored;
        return rule.code;
    }
    return severity == Severity::Error ? Code::OtherError : Code::OtherWarning;
}

bool endsReading(Code code) {
    switch (code) {
        case Code::LineTooLong:
        case Code::ZeroByte:
        case Code::TooManyLines:
        case Code::ReadFailed:
        case Code::OutOfMemory:
        case Code::LabelTableFull:
        case Code::ConstantTableFull:
        case Code::PatternMemoryFull:
        case Code::ProgramMemoryFull:
        case Code::AddressOutside:
        case Code::SourceChanged:
        case Code::IncludeTooDeep:
        case Code::OtherError: return true;
        default: return false;
    }
}

uint64_t orderOf(const Place& place, uint32_t phase) { return uint64_t{place.ordinal} << 2 | phase; }

Range rangeOf(const Report& report, const Place& place) {
    Range r{place.file, place.line, 0, 0};
    if (place.token < 0 || place.line <= 0 || place.file >= report.files.size()) return r;
    const CheckedFile& file = report.files[place.file];
    if (static_cast<size_t>(place.line) > file.lines.size()) return r;
    Span span;
    if (!tokenSpanAt(file.lines[place.line - 1], static_cast<size_t>(place.token), &span)) return r;
    r.firstColumn = static_cast<uint32_t>(span.begin + 1);
    r.lastColumn = static_cast<uint32_t>(span.end);
    return r;
}

std::string tokenText(const Report& report, const Place& place) {
    const Range r = rangeOf(report, place);
    if (r.firstColumn == 0) return {};
    const std::string_view line = report.files[place.file].lines[place.line - 1];
    std::string text;
    for (uint32_t c = r.firstColumn; c <= r.lastColumn; c++) {
        const char byte = line[c - 1];
        if (byte == '\r' || byte == '\f') continue;
        text += byte >= 'a' && byte <= 'z' ? static_cast<char>(byte - 'a' + 'A') : byte;
    }
    return text;
}

int16_t wordToken(const Report& report, uint32_t file, int32_t line) {
    const std::string label = tokenText(report, {file, line, 0, 0});
    return label.size() > 0 && label[0] == '#' ? 1 : 0;
}

namespace {

void describe(Diagnostic& d, const Report& report, Code code, const Place& place, std::string&& message) {
    const CodeInfo& info = infoOf(code);
    d.level = info.level;
    // Appended to the new diagnostic's empty strings, the cheapest way in (a check may make thousands).
    d.code.append(info.code);
    d.name.append(info.name);
    d.message = std::move(message);
    d.range = rangeOf(report, place);
}

}  // namespace

Diagnostic makeDiagnostic(const Report& report, Code code, const Place& place, std::string message) {
    Diagnostic d;
    describe(d, report, code, place, std::move(message));
    return d;
}

Diagnostic& openDiagnostic(Collector& c, uint64_t order, const Report& report, Code code, const Place& place,
                           std::string message) {
    Diagnostic& d = c.open(order);
    describe(d, report, code, place, std::move(message));
    return d;
}

std::string joined(std::initializer_list<std::string_view> pieces) {
    size_t size = 0;
    for (const std::string_view piece : pieces) size += piece.size();
    std::string text;
    text.reserve(size);
    for (const std::string_view piece : pieces) text.append(piece);
    return text;
}

void convertMessages(const Gathered& g, Collector& c) {
    // Past an INC file that was not read, an undefined name may well be one it defines: those uses are
    // counted on the INC's diagnostic rather than each reported.
    size_t include = g.messages.size();
    uint32_t unreported = 0;
    for (size_t i = 0; i < g.messages.size(); i++) {
        const Code code = g.messages[i].code;
        if (include < i && isUndefinedName(code)) unreported++;
        if (include == g.messages.size() &&
            (code == Code::IncludeNotFound || code == Code::IncludeNotPlain || code == Code::IncludeTooDeep))
            include = i;
    }
    for (size_t i = 0; i < g.messages.size(); i++)
        if (i <= include || !isUndefinedName(g.messages[i].code))
            convert(g, g.messages[i], i == include ? unreported : 0, c);
}

}  // namespace qvek::diag
