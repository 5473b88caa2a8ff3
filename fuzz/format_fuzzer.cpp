// libFuzzer entry for the formatter: the input bytes are a source file. Held
// to what formatting promises, against a plain split of each line: the same
// number of lines; each line's tokens the same but for case and its comment
// the same but for trailing blanks, or the line exactly as it was; and
// formatting the result again changes nothing.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "format/formatter.h"

namespace {

[[noreturn]] void finding(const char* what) {
    std::fprintf(stderr, "formatter fuzzer: %s\n", what);
    std::abort();
}

// A line's tokens, upper-cased and joined by single blanks, then its comment without trailing blanks.
std::string plainReading(std::string_view line) {
    if (!line.empty() && line.back() == '\n') line.remove_suffix(1);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    const size_t star = line.find('*');
    std::string tokens;
    bool blank = false;
    for (const char c : line.substr(0, star)) {
        if (c == ' ' || c == '\t') {
            blank = !tokens.empty();
            continue;
        }
        if (blank) tokens += ' ';
        blank = false;
        tokens += c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c;
    }
    std::string_view comment = star == std::string_view::npos ? std::string_view() : line.substr(star);
    while (!comment.empty() && (comment.back() == ' ' || comment.back() == '\t')) comment.remove_suffix(1);
    return tokens + '\0' + std::string(comment);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view source(reinterpret_cast<const char*>(data), size);
    const qvek::format::Formatted f = qvek::format::formatSource(source);
    if (!f.isText) {
        if (source.find('\0') == std::string_view::npos) finding("text refused");
        return 0;
    }
    const std::vector<std::string_view> before = qvek::format::linesWithEnds(source);
    const std::vector<std::string_view> after = qvek::format::linesWithEnds(f.text);
    if (before.size() != after.size()) finding("lines added or removed");
    size_t note = 0;
    for (size_t i = 0; i < before.size(); i++) {
        if (note < f.notes.size() && f.notes[note].line == i + 1) {
            note++;
            if (before[i] != after[i]) finding("a line left as it stands was changed");
            continue;
        }
        if (before[i] != after[i] && plainReading(before[i]) != plainReading(after[i]))
            finding("a token or comment changed beyond its case");
    }
    if (note != f.notes.size()) finding("notes out of order");
    if (qvek::format::formatSource(f.text).text != f.text) finding("formatting again changes the text");
    return 0;
}
