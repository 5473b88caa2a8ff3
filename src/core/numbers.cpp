#include "core/numbers.h"

#include <cstring>

#include "core/messages.h"

namespace qvek {

namespace {

constexpr uint64_t kMaxMagnitude = 0xFFFFFFFFull;

// The value of every byte as a digit, 16 or more for a byte that is none: one
// lookup a digit, as hexadecimal numbers mix letters and figures at random.
struct DigitTable {
    uint8_t value[256] = {};
    constexpr DigitTable() {
        for (int c = 0; c < 256; c++) {
            value[c] = 16;
            if (c >= '0' && c <= '9') value[c] = static_cast<uint8_t>(c - '0');
            else if (c >= 'A' && c <= 'F') value[c] = static_cast<uint8_t>(c - 'A' + 10);
            else if (c >= 'a' && c <= 'f') value[c] = static_cast<uint8_t>(c - 'a' + 10);
        }
    }
};
constexpr DigitTable kDigits;

int digitValue(char c, unsigned base) {
    const unsigned d = kDigits.value[static_cast<unsigned char>(c)];
    return d < base ? static_cast<int>(d) : -1;
}

// The scan of "%d" or "%X": a sign, for base 16 an optional 0X, then digits up to
// the first that does not belong. A negative number is its two's complement.
uint32_t scanInteger(const char* s, unsigned base, bool* overflow) {
    bool negative = false;
    if (*s == '+' || *s == '-') negative = *s++ == '-';
    if (base == 16 && s[0] == '0' && (s[1] == 'X' || s[1] == 'x') && digitValue(s[2], 16) >= 0) s += 2;
    uint64_t magnitude = 0;
    for (int d; (d = digitValue(*s, base)) >= 0; s++) {
        magnitude = magnitude * base + static_cast<unsigned>(d);
        if (magnitude > kMaxMagnitude) {
            *overflow = true;
            magnitude &= kMaxMagnitude;  // keep the low 32 bits as the digits go on
        }
    }
    const uint32_t low = static_cast<uint32_t>(magnitude);
    return negative ? 0u - low : low;
}

// Base 2 counts each '1' by its place from the right; every other character is a 0 bit.
uint32_t scanBinary(const char* s) {
    const size_t n = std::strlen(s);
    uint32_t value = 0;
    for (size_t p = 0; p < n; p++)
        if (s[p] == '1' && n - 1 - p < 32) value |= 1u << (n - 1 - p);
    return value;
}

}  // namespace

NumberReading readNumber(const char* token) {
    NumberReading r;
    const char* s = token;
    while (*s == '0') s++;
    r.rest = s;
    switch (*s) {
        case '\0': break;
        case 'B': r.value = scanBinary(s + 1); break;
        case 'D': r.value = scanInteger(s + 1, 10, &r.overflow); break;
        case 'H':
        case 'X': r.value = scanInteger(s + 1, 16, &r.overflow); break;
        default:
            if (*s >= '1' && *s <= '9') r.value = scanInteger(s, 10, &r.overflow);
            else r.missingHash = true;
    }
    return r;
}

uint32_t parseNumber(AsmState& st, const char* token) {
    const NumberReading r = readNumber(token);
    if (r.missingHash)
        warning(st, "\nWARNING:- Definition for %s is possibly missing '#' on line %3.3d in file %s", r.rest,
                st.currentLine, st.includeNames[0]);
    if (r.overflow)
        warning(st, "\nWARNING:- Number %s does not fit in 32 bits on line %3.3d in file %s. Low 32 bits used.",
                token, st.currentLine, st.includeNames[0]);
    return r.value;
}

}  // namespace qvek
