// What the text, JSON and SARIF writers share: the words of the levels, and
// how they read the bytes of names, lines and file names (UTF-8 where it is
// valid, any other byte alone).
#include <algorithm>
#include <cstdio>

#include "diag/render.h"

namespace qvek::diag {

namespace {

// The length of the valid UTF-8 sequence at text[i] and its code point; 0 when
// the byte there starts none (the byte then stands alone).
size_t sequenceAt(std::string_view text, size_t i, uint32_t* codePoint) {
    const auto c = static_cast<unsigned char>(text[i]);
    if (c < 0x80) {
        *codePoint = c;
        return 1;
    }
    const size_t n = (c >> 5) == 0x6 ? 2 : (c >> 4) == 0xE ? 3 : (c >> 3) == 0x1E ? 4 : 0;
    if (n == 0 || i + n > text.size()) return 0;
    uint32_t cp = c & (0x7F >> n);
    for (size_t k = 1; k < n; k++) {
        const auto next = static_cast<unsigned char>(text[i + k]);
        if ((next & 0xC0) != 0x80) return 0;
        cp = cp << 6 | (next & 0x3F);
    }
    // Over-long forms, surrogates and code points beyond Unicode are no valid UTF-8.
    constexpr uint32_t kLeast[] = {0, 0, 0x80, 0x800, 0x10000};
    if (cp < kLeast[n] || (cp >= 0xD800 && cp <= 0xDFFF) || cp > 0x10FFFF) return 0;
    *codePoint = cp;
    return n;
}

void appendUtf8(std::string& out, uint32_t cp) {
    if (cp < 0x80) {
        out += static_cast<char>(cp);
    } else if (cp < 0x800) {
        out += static_cast<char>(0xC0 | cp >> 6);
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else if (cp < 0x10000) {
        out += static_cast<char>(0xE0 | cp >> 12);
        out += static_cast<char>(0x80 | (cp >> 6 & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | cp >> 18);
        out += static_cast<char>(0x80 | (cp >> 12 & 0x3F));
        out += static_cast<char>(0x80 | (cp >> 6 & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    }
}

}  // namespace

const char* levelName(Level level) {
    switch (level) {
        case Level::Error: return "error";
        case Level::Warning: return "warning";
        case Level::Note: break;
    }
    return "note";
}

size_t utf8SequenceLength(std::string_view text, size_t i) {
    uint32_t codePoint = 0;
    return i < text.size() ? sequenceAt(text, i, &codePoint) : 0;
}

std::string visible(std::string_view bytes) {
    const auto plain = [](char c) { return (c >= 0x20 && c < 0x7F) || c == '\t'; };
    if (std::all_of(bytes.begin(), bytes.end(), plain)) return std::string(bytes);
    std::string out;
    out.reserve(bytes.size());
    for (size_t i = 0; i < bytes.size();) {
        uint32_t cp = 0;
        const size_t n = sequenceAt(bytes, i, &cp);
        char shown[16];
        if (n == 0) {
            std::snprintf(shown, sizeof shown, "<%02X>", static_cast<unsigned char>(bytes[i]));
            out += shown;
            i++;
            continue;
        }
        if ((cp < 0x20 && cp != '\t') || (cp >= 0x7F && cp < 0xA0)) {
            std::snprintf(shown, sizeof shown, "<U+%04X>", cp);
            out += shown;
        } else {
            out.append(bytes.substr(i, n));
        }
        i += n;
    }
    return out;
}

std::string utf8Of(std::string_view bytes) {
    std::string out;
    out.reserve(bytes.size());
    for (size_t i = 0; i < bytes.size();) {
        uint32_t cp = 0;
        const size_t n = sequenceAt(bytes, i, &cp);
        if (n == 0) {
            appendUtf8(out, static_cast<unsigned char>(bytes[i++]));
        } else {
            out.append(bytes.substr(i, n));
            i += n;
        }
    }
    return out;
}

uint32_t utf16UnitsOf(std::string_view line, size_t bytes) {
    uint32_t units = 0;
    for (size_t i = 0; i < line.size() && i < bytes;) {
        uint32_t cp = 0;
        const size_t n = sequenceAt(line, i, &cp);
        i += n == 0 ? 1 : n;
        units += cp >= 0x10000 ? 2 : 1;
    }
    // Columns past the end of the line count one unit a byte.
    if (bytes > line.size()) units += static_cast<uint32_t>(bytes - line.size());
    return units;
}

}  // namespace qvek::diag
