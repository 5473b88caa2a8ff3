// The report for people, as compilers write theirs: "FILE:LINE:COL: error:
// message [code]", the source line under it with a caret and tildes beneath
// the range, a fix-it on a line of its own, then the notes; a file read
// through INC is introduced by the chain of INC lines that read it.
#include <algorithm>
#include <cstdio>
#include <vector>

#include "diag/render.h"

namespace qvek::diag {

namespace {

constexpr uint32_t kTabStop = 8;
constexpr int kGutterWidth = 5;  // line numbers in the margin of a quoted source line

// ANSI colours, as compilers use them on a terminal.
struct Palette {
    const char* bold = "";
    const char* error = "";
    const char* warning = "";
    const char* note = "";
    const char* caret = "";
    const char* fix = "";
    const char* reset = "";
};

Palette paletteFor(bool colour) {
    if (!colour) return {};
    return {"\033[1m", "\033[1;31m", "\033[1;35m", "\033[1;36m", "\033[1;32m", "\033[32m", "\033[m"};
}

// A source line as the terminal shows it: tabs expanded, odd bytes made
// visible, and the screen column where each byte starts (one more entry for
// the end of the line).
struct ShownLine {
    std::string text;
    std::vector<uint32_t> columnOf;
};

ShownLine showLine(std::string_view line) {
    ShownLine shown;
    uint32_t column = 0;
    shown.text.reserve(line.size());
    shown.columnOf.reserve(line.size() + 1);
    for (size_t i = 0; i < line.size();) {
        const auto c = static_cast<unsigned char>(line[i]);
        if (c >= 0x20 && c < 0x7F) {
            shown.columnOf.push_back(column++);
            shown.text += line[i++];
            continue;
        }
        if (c == '\t') {
            shown.columnOf.push_back(column);
            const uint32_t next = (column / kTabStop + 1) * kTabStop;
            shown.text.append(next - column, ' ');
            column = next;
            i++;
            continue;
        }
        // A valid sequence takes one column (wide characters aside); an odd byte its visible form.
        const size_t n = std::max<size_t>(utf8SequenceLength(line, i), 1);
        const std::string piece = visible(line.substr(i, n));
        for (size_t k = 0; k < n; k++) shown.columnOf.push_back(column);
        shown.text += piece;
        column += piece == line.substr(i, n) ? 1 : static_cast<uint32_t>(piece.size());
        i += n;
    }
    shown.columnOf.push_back(column);
    return shown;
}

class TextWriter {
  public:
    TextWriter(const Report& report, bool colour) : report_(report), p_(paletteFor(colour)) {}

    std::string write() {
        for (const Diagnostic& d : report_.diagnostics) diagnostic(d);
        return std::move(out_);
    }

  private:
    const Report& report_;
    Palette p_;
    std::string out_;
    int64_t lastFile_ = -1;  // the file of the diagnostic before: its include chain is not repeated

    const CheckedFile* fileOf(const Range& r) const {
        return r.file < report_.files.size() ? &report_.files[r.file] : nullptr;
    }

    std::string_view lineOf(const Range& r) const {
        const CheckedFile* f = fileOf(r);
        if (f == nullptr || r.line < 1 || static_cast<size_t>(r.line) > f->lines.size()) return {};
        return f->lines[r.line - 1];
    }

    bool hasLine(const Range& r) const {
        const CheckedFile* f = fileOf(r);
        return f != nullptr && r.line >= 1 && static_cast<size_t>(r.line) <= f->lines.size();
    }

    std::string place(uint32_t file, int32_t line, uint32_t column) const {
        std::string text = file < report_.files.size() ? visible(report_.files[file].name) : "?";
        if (line > 0) text += ':' + std::to_string(line);
        if (line > 0 && column > 0) text += ':' + std::to_string(column);
        return text;
    }

    void includeChain(uint32_t file) {
        if (file >= report_.files.size() || static_cast<int64_t>(file) == lastFile_) return;
        lastFile_ = file;
        const char* lead = "In file included from ";
        for (int32_t f = static_cast<int32_t>(file), hops = 0;
             f >= 0 && static_cast<size_t>(f) < report_.files.size() && hops < 64; hops++) {
            const CheckedFile& inner = report_.files[f];
            if (inner.includedFrom < 0) break;
            const uint32_t outer = static_cast<uint32_t>(inner.includedFrom);
            out_ += lead + place(outer, inner.includeLine, inner.includeColumn);
            lead = ",\n                 from ";
            f = inner.includedFrom;
        }
        if (lead[0] == ',') out_ += ":\n";
    }

    void heading(const Range& r, Level level, const std::string& message, const std::string& tail) {
        const char* colour = level == Level::Error ? p_.error : level == Level::Warning ? p_.warning : p_.note;
        out_ += p_.bold + place(r.file, r.line, r.firstColumn) + ":" + p_.reset + " " + colour + levelName(level) +
                ":" + p_.reset + " " + visible(message) + tail + "\n";
    }

    // The quoted line, and under it the caret and tildes beneath the range.
    void quote(const Range& r) {
        if (!hasLine(r)) return;
        const ShownLine shown = showLine(lineOf(r));
        char gutter[32];
        std::snprintf(gutter, sizeof gutter, "%*d | ", kGutterWidth, r.line);
        out_ += gutter + shown.text + "\n";
        if (r.firstColumn == 0) return;
        const auto [first, last] = screenSpan(shown, r.firstColumn, r.lastColumn);
        out_ += std::string(kGutterWidth + 1, ' ') + "| " + std::string(first, ' ') + p_.caret + "^" +
                std::string(last > first ? last - first - 1 : 0, '~') + p_.reset + "\n";
    }

    // The screen columns from the first byte of a range to past its last, from 0.
    static std::pair<uint32_t, uint32_t> screenSpan(const ShownLine& shown, uint32_t firstColumn, uint32_t lastColumn) {
        const size_t end = shown.columnOf.size() - 1;  // the end of the line
        const auto at = [&](size_t byte) {
            return byte <= end ? shown.columnOf[byte] : shown.columnOf[end] + static_cast<uint32_t>(byte - end);
        };
        const uint32_t first = at(firstColumn - 1);
        const uint32_t last = at(lastColumn >= firstColumn ? lastColumn : firstColumn);
        return {first, last > first ? last : first + 1};
    }

    // A fix-it on the line of the range it replaces, where that line was quoted;
    // elsewhere as a note of its own.
    void fixIt(const FixIt& fix, const Range& quoted) {
        const bool sameLine = fix.range.file == quoted.file && fix.range.line == quoted.line && hasLine(quoted);
        if (!sameLine || fix.range.firstColumn == 0) {
            heading(fix.range, Level::Note,
                    fix.replacement.empty() ? "remove this" : "replace with '" + fix.replacement + "'", "");
            quote(fix.range);
            return;
        }
        const ShownLine shown = showLine(lineOf(quoted));
        const auto [first, last] = screenSpan(shown, fix.range.firstColumn, fix.range.lastColumn);
        const std::string text = fix.replacement.empty() ? std::string(last - first, '-') : visible(fix.replacement);
        out_ += std::string(kGutterWidth + 1, ' ') + "| " + std::string(first, ' ') + p_.fix + text + p_.reset + "\n";
    }

    void diagnostic(const Diagnostic& d) {
        includeChain(d.range.file);
        std::string tail;
        if (!d.code.empty()) tail = " [" + d.code + (d.name.empty() ? "" : " -W" + d.name) + "]";
        heading(d.range, d.level, d.message, tail);
        quote(d.range);
        for (const FixIt& fix : d.fixes) fixIt(fix, d.range);
        for (const Related& r : d.related) {
            heading(r.range, Level::Note, r.message, "");
            quote(r.range);
        }
    }
};

}  // namespace

std::string renderText(const Report& report, bool colour) { return TextWriter(report, colour).write(); }

}  // namespace qvek::diag
