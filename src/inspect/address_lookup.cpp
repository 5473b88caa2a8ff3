#include "inspect/address_lookup.h"

#include <cctype>
#include <cstring>
#include <string>

#include "core/symbols.h"

namespace qvek {

namespace {

bool isWordByte(char c) { return std::isalnum(static_cast<unsigned char>(c)) != 0 || c == '_'; }
bool isBlank(char c) { return c == ' ' || c == '\t' || c == '\r'; }

bool hasHexPrefix(const char* word, size_t length) {
    return length > 2 && word[0] == '0' && (word[1] == 'x' || word[1] == 'X');
}

int hexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

void writeLabel(const AddressLookup& lookup, uint32_t address, FILE* out) {
    const int label = lookup.labelBefore[address];
    if (label < 0) {
        std::fputs("??", out);
        return;
    }
    const char* name = programLabelName(*lookup.st, static_cast<uint32_t>(label));
    const uint32_t offset = address - static_cast<uint32_t>(lookup.st->programLabels[label].address);
    // Decimal, as the source language reads a bare number.
    if (offset == 0)
        std::fputs(name, out);
    else
        std::fprintf(out, "%s+%u", name, offset);
}

void answerLine(const AddressLookup& lookup, const char* line, size_t length, bool cut, FILE* out) {
    const LogAddress found = findLogAddress(line, length, cut);
    switch (found.reading) {
        case AddressReading::Address: answerAddress(lookup, found.address, out); return;
        case AddressReading::Beyond:
            std::fprintf(out, "?? %.*s lies beyond program memory (0x000 to 0x%3.3x)\n", static_cast<int>(found.length),
                         found.word, kProgramNibbles - 1);
            return;
        case AddressReading::NotANumber: std::fputs("?? no address in this line\n", out); return;
    }
}

}  // namespace

void prepareLookup(AddressLookup& lookup, const AsmState& st, const Record& record) {
    lookup.st = &st;
    lookup.record = &record;
    prepareNames(lookup.names, &st, kPatternSlots);
    int16_t label = -1;
    for (uint32_t a = 0; a < kProgramNibbles; a++) {
        const int here = labelAt(lookup.names, a);
        if (here >= 0) label = static_cast<int16_t>(here);
        lookup.labelBefore[a] = label;
    }
}

void answerAddress(const AddressLookup& lookup, uint32_t address, FILE* out) {
    std::fprintf(out, "0x%3.3x ", address);
    const NibbleOwner& owner = lookup.record->nibbles[address];
    if (owner.statement == 0) {
        std::fputs("??:0 ", out);
        writeLabel(lookup, address, out);
        std::fputs(" unused\n", out);
        return;
    }
    const Site& site = owner.site;
    std::fprintf(out, "%s:%d ", site.file != kNoFile ? lookup.record->files.name(site.file) : "??", site.line);
    writeLabel(lookup, address, out);
    char statement[kStatementTextSize];
    statementText(decodeInstruction(lookup.st->programImage, owner.start), lookup.names, statement);
    std::fprintf(out, " %s", statement);
    if (owner.start != address) std::fprintf(out, " (from 0x%3.3x)", owner.start);
    std::fputc('\n', out);
}

int answerLog(const AddressLookup& lookup, FILE* in, FILE* out) {
    std::string line;  // grows with the longest line, up to kLogLineSize
    for (;;) {
        line.clear();
        bool any = false;
        bool cut = false;
        int c;
        while ((c = std::getc(in)) != EOF && c != '\n') {
            any = true;
            if (line.size() < kLogLineSize)
                line.push_back(static_cast<char>(c));
            else
                cut = true;
        }
        if (c == EOF && !any) break;
        answerLine(lookup, line.data(), line.size(), cut, out);
        // Each answer leaves at once, for whoever reads the pipe. An output
        // that fails ends the lookup; closing the output reports it.
        if (std::fflush(out) != 0) return 0;
    }
    return std::ferror(in) ? -1 : 0;
}

AddressReading readAddress(const char* word, size_t length, uint32_t& address) {
    size_t i = 0;
    if (hasHexPrefix(word, length))
        i = 2;
    else if (length > 1 && std::strchr("HhXx", word[0]) != nullptr)
        i = 1;  // the source language's prefixes; neither is a hexadecimal digit, so a bare number never begins so
    if (i == length) return AddressReading::NotANumber;
    uint32_t value = 0;
    for (; i < length; i++) {
        const int digit = hexDigit(word[i]);
        if (digit < 0) return AddressReading::NotANumber;
        // Held just past the limit, so any number of digits reads without overflow.
        value = value < kProgramNibbles ? value * 16 + static_cast<uint32_t>(digit) : kProgramNibbles;
    }
    if (value >= kProgramNibbles) return AddressReading::Beyond;
    address = value;
    return AddressReading::Address;
}

LogAddress findLogAddress(const char* line, size_t length, bool cut) {
    LogAddress found;
    size_t first = 0, last = length;
    // The word the cut runs through is not all there: read as it stands it could name another address.
    if (cut)
        while (last > 0 && isWordByte(line[last - 1])) last--;
    while (first < last && isBlank(line[first])) first++;
    while (last > first && isBlank(line[last - 1])) last--;
    // A line that is one word is read in every form, as an argument is.
    bool oneWord = first < last && !cut;
    for (size_t i = first; i < last && oneWord; i++) oneWord = isWordByte(line[i]);
    if (oneWord) {
        found.reading = readAddress(line + first, last - first, found.address);
        found.word = line + first;
        found.length = last - first;
        if (found.reading != AddressReading::NotANumber) return found;
    }
    // Elsewhere only an 0x word counts: times, counts and names in a log read as bare hexadecimal too.
    for (size_t i = first; i < last;) {
        if (!isWordByte(line[i])) {
            i++;
            continue;
        }
        size_t end = i;
        while (end < last && isWordByte(line[end])) end++;
        if (hasHexPrefix(line + i, end - i)) {
            found.reading = readAddress(line + i, end - i, found.address);
            found.word = line + i;
            found.length = end - i;
            if (found.reading != AddressReading::NotANumber) return found;
        }
        i = end;
    }
    found.reading = AddressReading::NotANumber;
    found.word = nullptr;
    found.length = 0;
    return found;
}

}  // namespace qvek
