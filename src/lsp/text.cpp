#include "lsp/text.h"

#include <algorithm>

namespace qvek::lsp {

namespace {

// Length of the UTF-8 sequence that starts at line[i] and the UTF-16 units it
// makes; a malformed sequence is one byte and one unit.
void sequenceAt(std::string_view line, size_t i, size_t* bytes, uint32_t* units) {
    const auto c = static_cast<unsigned char>(line[i]);
    size_t n = c < 0x80 ? 1 : (c >> 5) == 0x6 ? 2 : (c >> 4) == 0xE ? 3 : (c >> 3) == 0x1E ? 4 : 0;
    bool valid = n > 0 && i + n <= line.size();
    for (size_t k = 1; valid && k < n; k++) valid = (static_cast<unsigned char>(line[i + k]) & 0xC0) == 0x80;
    if (!valid) n = 1;
    *bytes = n;
    *units = valid && n == 4 ? 2 : 1;  // beyond the basic plane: a surrogate pair
}

}  // namespace

Text::Text(std::string bytes) : bytes_(std::move(bytes)) {
    starts_.push_back(0);
    sourceStarts_.push_back(0);
    for (size_t i = 0; i < bytes_.size(); i++) {
        if (bytes_[i] == '\n') {
            starts_.push_back(i + 1);
            sourceStarts_.push_back(i + 1);
        } else if (bytes_[i] == '\r' && (i + 1 == bytes_.size() || bytes_[i + 1] != '\n')) {
            starts_.push_back(i + 1);
        }
    }
}

std::string_view Text::line(uint32_t i) const {
    if (i >= starts_.size()) return {};
    size_t end = i + 1 < starts_.size() ? starts_[i + 1] - 1 : bytes_.size();
    // "\r\n" is one line end; a lone "\r" or "\n" was taken off above.
    if (i + 1 < starts_.size() && end > starts_[i] && bytes_[end] == '\n' && bytes_[end - 1] == '\r') end--;
    return std::string_view(bytes_).substr(starts_[i], end - starts_[i]);
}

size_t Text::offsetOf(Position p) const {
    if (p.line >= starts_.size()) return bytes_.size();
    return starts_[p.line] + bytesOfUnits(line(p.line), p.character);
}

Position Text::positionAt(size_t offset) const {
    if (offset > bytes_.size()) offset = bytes_.size();
    const auto after = std::upper_bound(starts_.begin(), starts_.end(), offset);
    const auto i = static_cast<uint32_t>(after - starts_.begin() - 1);
    return {i, utf16Units(line(i), offset - starts_[i])};
}

std::string_view Text::sourceLine(uint32_t i) const {
    if (i >= sourceStarts_.size()) return {};
    size_t end = i + 1 < sourceStarts_.size() ? sourceStarts_[i + 1] - 1 : bytes_.size();
    while (end > sourceStarts_[i] && bytes_[end - 1] == '\r') end--;
    return std::string_view(bytes_).substr(sourceStarts_[i], end - sourceStarts_[i]);
}

uint32_t Text::sourceLineAt(size_t offset) const {
    const auto after = std::upper_bound(sourceStarts_.begin(), sourceStarts_.end(), offset);
    return static_cast<uint32_t>(after - sourceStarts_.begin() - 1);
}

size_t Text::sourceLineStart(uint32_t i) const { return i < sourceStarts_.size() ? sourceStarts_[i] : bytes_.size(); }

size_t offsetIn(std::string_view bytes, Position p) {
    size_t start = 0;
    for (uint32_t line = 0; line < p.line; line++) {
        const size_t end = bytes.find_first_of("\r\n", start);
        if (end == std::string_view::npos) return bytes.size();
        start = end + (bytes.compare(end, 2, "\r\n") == 0 ? 2 : 1);
    }
    const size_t end = std::min(bytes.find_first_of("\r\n", start), bytes.size());
    return start + bytesOfUnits(bytes.substr(start, end - start), p.character);
}

uint32_t utf16Units(std::string_view line, size_t bytes) {
    uint32_t units = 0;
    for (size_t i = 0; i < line.size() && i < bytes;) {
        size_t n;
        uint32_t u;
        sequenceAt(line, i, &n, &u);
        i += n;
        units += u;
    }
    return units;
}

size_t bytesOfUnits(std::string_view line, uint32_t units) {
    size_t i = 0;
    for (uint32_t seen = 0; i < line.size() && seen < units;) {
        size_t n;
        uint32_t u;
        sequenceAt(line, i, &n, &u);
        i += n;
        seen += u;
    }
    return i;
}

}  // namespace qvek::lsp
