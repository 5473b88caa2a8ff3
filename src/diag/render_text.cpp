// The report for people, as compilers write theirs: "FILE:LINE:COL: error:
// message [code]", the source line under it with a caret and tildes beneath
// the range, a fix-it on a line of its own, then the notes; a file read
// through INC is introduced by the chain of INC lines that read it.
// Everything is appended to one buffer: a report of thousands of warnings
// makes no string per piece of a line.
#include <algorithm>
#include <charconv>
#include <cstdio>
#include <cstring>
#include <vector>

#include "diag/render.h"

namespace qvek::diag {

namespace {

constexpr uint32_t kTabStop = 8;
constexpr size_t kGutterWidth = 5;  // line numbers in the margin of a quoted source line
constexpr size_t kBytesPerDiagnostic = 64;  // beside its file name, message and quoted lines, when sizing the text
constexpr size_t kStreamPiece = 64 << 10;   // the text written to a stream at a time

// ANSI colours, as compilers use them on a terminal.
struct Palette {
    std::string_view bold, error, warning, note, caret, fix, reset;  // empty without colour
};

Palette paletteFor(bool colour) {
    if (!colour) return {};
    return {"\033[1m", "\033[1;31m", "\033[1;35m", "\033[1;36m", "\033[1;32m", "\033[32m", "\033[m"};
}

bool printable(char c) { return c >= 0x20 && c < 0x7F; }

// Tells whether bytes are all printable ASCII, eight at a time: a byte below
// 0x20 borrows into its top bit, 0x7F carries into it, and a byte from 0x80
// has it. A borrow or a carry only ever starts at a byte that fails anyway.
bool printableAscii(std::string_view bytes) {
    constexpr uint64_t kOnes = 0x0101010101010101u, kTops = 0x8080808080808080u;
    size_t i = 0;
    for (; i + 8 <= bytes.size(); i += 8) {
        uint64_t x;
        std::memcpy(&x, bytes.data() + i, sizeof x);
        if (((x - 0x20 * kOnes) | (x + kOnes) | x) & kTops) return false;
    }
    for (; i < bytes.size(); i++)
        if (!printable(bytes[i])) return false;
    return true;
}

// A source line as the terminal shows it: tabs expanded, odd bytes made
// visible, and the screen column where each byte starts (one more entry for
// the end of the line). A line of printable ASCII alone, as most are, is shown
// as it stands, each byte in its own column, and keeps no table.
class ShownLine {
  public:
    void show(std::string_view line) {
        plain_ = printableAscii(line);
        if (plain_) {
            text_ = line;
            return;
        }
        owned_.clear();
        columnOf_.clear();
        owned_.reserve(line.size());
        columnOf_.reserve(line.size() + 1);
        uint32_t column = 0;
        for (size_t i = 0; i < line.size();) {
            const char c = line[i];
            if (printable(c)) {
                columnOf_.push_back(column++);
                owned_ += c;
                i++;
                continue;
            }
            if (c == '\t') {
                columnOf_.push_back(column);
                const uint32_t next = (column / kTabStop + 1) * kTabStop;
                owned_.append(next - column, ' ');
                column = next;
                i++;
                continue;
            }
            // A valid sequence takes one column (wide characters aside); an odd byte its visible form.
            const size_t n = std::max<size_t>(utf8SequenceLength(line, i), 1);
            const std::string_view bytes = line.substr(i, n);
            const std::string piece = visible(bytes);
            for (size_t k = 0; k < n; k++) columnOf_.push_back(column);
            owned_ += piece;
            column += piece == bytes ? 1 : static_cast<uint32_t>(piece.size());
            i += n;
        }
        columnOf_.push_back(column);
        text_ = owned_;
    }

    std::string_view text() const { return text_; }

    // The screen column of a byte, from 0; bytes past the end of the line one column each.
    uint32_t columnAt(size_t byte) const {
        if (plain_) return static_cast<uint32_t>(byte);
        const size_t end = columnOf_.size() - 1;
        return byte <= end ? columnOf_[byte] : columnOf_[end] + static_cast<uint32_t>(byte - end);
    }

  private:
    bool plain_ = true;
    std::string_view text_;          // the line itself, or owned_
    std::string owned_;              // the shown text of a line that is not plain
    std::vector<uint32_t> columnOf_;  // of a line that is not plain
};

// The text being written, appended at a cursor: a diagnostic's pieces are many
// and short, and each costs a copy and a bounds test. Into a string, grown
// ahead of the cursor and cut to length at the end; or into a stream, a
// buffer's worth at a time, so that a long report is never held whole.
class Buffer {
  public:
    Buffer(size_t bytes, FILE* sink) : sink_(sink) {
        text_.resize(std::max<size_t>(bytes, 1));
        at_ = text_.data();
        end_ = at_ + text_.size();
    }

    [[gnu::always_inline]] void put(std::string_view piece) {
        if (piece.size() > room()) makeRoom(piece.size());
        std::memcpy(at_, piece.data(), piece.size());
        at_ += piece.size();
    }

    [[gnu::always_inline]] void put(char c) {
        if (at_ == end_) makeRoom(1);
        *at_++ = c;
    }

    [[gnu::always_inline]] void fill(size_t count, char c) {
        if (count > room()) makeRoom(count);
        std::memset(at_, c, count);
        at_ += count;
    }

    template <typename Number>
    void number(Number n) {
        if (room() < kNumberSize) makeRoom(kNumberSize);
        at_ = std::to_chars(at_, end_, n).ptr;
    }

    /// The text written, into a string; the rest of it written to the stream.
    std::string finish() {
        if (sink_ != nullptr) {
            flush();
            return {};
        }
        text_.resize(used());
        return std::move(text_);
    }

  private:
    static constexpr size_t kNumberSize = 16;  // the digits of any 32-bit number, its sign included
    FILE* sink_;
    std::string text_;
    char* at_;   // within text_, written up to here
    char* end_;  // the end of text_

    size_t used() const { return static_cast<size_t>(at_ - text_.data()); }
    size_t room() const { return static_cast<size_t>(end_ - at_); }

    void flush() {
        std::fwrite(text_.data(), 1, used(), sink_);
        at_ = text_.data();
    }

    // Rare, and kept out of the paths above.
    [[gnu::noinline]] void makeRoom(size_t bytes) {
        if (sink_ != nullptr) flush();
        const size_t used = this->used();
        if (used + bytes > text_.size()) text_.resize(std::max(2 * text_.size(), used + bytes));
        at_ = text_.data() + used;
        end_ = text_.data() + text_.size();
    }
};

class TextWriter {
  public:
    TextWriter(const Report& report, bool colour, FILE* sink)
        : report_(report), p_(paletteFor(colour)), names_(shownNames(report)), out_(bufferSize(sink), sink) {}

    std::string write() {
        for (const Diagnostic& d : report_.diagnostics) diagnostic(d);
        return out_.finish();
    }

  private:
    const Report& report_;
    Palette p_;
    std::vector<std::string> names_;  // each file's name as shown
    Buffer out_;
    int64_t lastFile_ = -1;  // the file of the diagnostic before: its include chain is not repeated
    // The line shown last: a diagnostic's fix-its and the one after it often quote it again.
    ShownLine shown_;
    uint32_t shownFile_ = 0;
    int32_t shownLine_ = 0;  // 0: none yet

    static std::vector<std::string> shownNames(const Report& report) {
        std::vector<std::string> names;
        names.reserve(report.files.size());
        for (const CheckedFile& f : report.files) names.push_back(visible(f.name));
        return names;
    }

    // A stream takes the text in pieces; a string is sized for the usual diagnostic: its heading, its
    // quoted line and the caret line under it.
    size_t bufferSize(FILE* sink) const {
        if (sink != nullptr) return kStreamPiece;
        size_t size = 0;
        for (const Diagnostic& d : report_.diagnostics)
            size += kBytesPerDiagnostic + nameOf(d.range.file).size() + d.message.size() + 2 * lineOf(d.range).size();
        return size;
    }

    std::string_view nameOf(uint32_t file) const {
        return file < names_.size() ? std::string_view(names_[file]) : std::string_view("?");
    }

    std::string_view lineOf(const Range& r) const {
        if (!hasLine(r)) return {};
        return report_.files[r.file].lines[r.line - 1];
    }

    bool hasLine(const Range& r) const {
        return r.file < report_.files.size() && r.line >= 1 &&
               static_cast<size_t>(r.line) <= report_.files[r.file].lines.size();
    }

    const ShownLine& show(const Range& r) {
        if (shownLine_ != r.line || shownFile_ != r.file) {
            shown_.show(lineOf(r));
            shownFile_ = r.file;
            shownLine_ = r.line;
        }
        return shown_;
    }

    // A colour's escape, or nothing when colour is off.
    void paint(std::string_view escape) {
        if (!escape.empty()) out_.put(escape);
    }

    void visibleText(std::string_view bytes) {
        if (printableAscii(bytes) || std::all_of(bytes.begin(), bytes.end(), [](char c) { return printable(c) || c == '\t'; }))
            out_.put(bytes);
        else
            out_.put(visible(bytes));
    }

    void place(uint32_t file, int32_t line, uint32_t column) {
        out_.put(nameOf(file));
        if (line <= 0) return;
        out_.put(':');
        out_.number(line);
        if (column == 0) return;
        out_.put(':');
        out_.number(column);
    }

    void includeChain(uint32_t file) {
        if (file >= report_.files.size() || static_cast<int64_t>(file) == lastFile_) return;
        lastFile_ = file;
        std::string_view lead = "In file included from ";
        for (int32_t f = static_cast<int32_t>(file), hops = 0;
             f >= 0 && static_cast<size_t>(f) < report_.files.size() && hops < 64; hops++) {
            const CheckedFile& inner = report_.files[f];
            if (inner.includedFrom < 0) break;
            out_.put(lead);
            place(static_cast<uint32_t>(inner.includedFrom), inner.includeLine, inner.includeColumn);
            lead = ",\n                 from ";
            f = inner.includedFrom;
        }
        if (lead[0] == ',') out_.put(":\n");
    }

    // "FILE:LINE:COL: level: message", for the caller to end.
    void heading(const Range& r, Level level, std::string_view message) {
        paint(p_.bold);
        place(r.file, r.line, r.firstColumn);
        out_.put(':');
        paint(p_.reset);
        out_.put(' ');
        paint(level == Level::Error ? p_.error : level == Level::Warning ? p_.warning : p_.note);
        out_.put(levelName(level));
        out_.put(':');
        paint(p_.reset);
        out_.put(' ');
        visibleText(message);
    }

    // The margin of a quoted line: its number, right-aligned, or blanks.
    void gutter(int32_t line) {
        char digits[16];
        const auto end = std::to_chars(digits, digits + sizeof digits, line).ptr;
        const size_t width = static_cast<size_t>(end - digits);
        if (width < kGutterWidth) out_.fill(kGutterWidth - width, ' ');
        out_.put(std::string_view(digits, width));
        out_.put(" | ");
    }

    void margin() {
        out_.fill(kGutterWidth + 1, ' ');
        out_.put("| ");
    }

    // The quoted line, and under it the caret and tildes beneath the range.
    void quote(const Range& r) {
        if (!hasLine(r)) return;
        const ShownLine& shown = show(r);
        gutter(r.line);
        out_.put(shown.text());
        out_.put('\n');
        if (r.firstColumn == 0) return;
        const auto [first, last] = screenSpan(shown, r.firstColumn, r.lastColumn);
        margin();
        out_.fill(first, ' ');
        paint(p_.caret);
        out_.put('^');
        out_.fill(last > first ? last - first - 1 : 0, '~');
        paint(p_.reset);
        out_.put('\n');
    }

    // The screen columns from the first byte of a range to past its last, from 0.
    static std::pair<uint32_t, uint32_t> screenSpan(const ShownLine& shown, uint32_t firstColumn, uint32_t lastColumn) {
        const uint32_t first = shown.columnAt(firstColumn - 1);
        const uint32_t last = shown.columnAt(lastColumn >= firstColumn ? lastColumn : firstColumn);
        return {first, last > first ? last : first + 1};
    }

    // A fix-it on the line of the range it replaces, where that line was quoted;
    // elsewhere as a note of its own.
    void fixIt(const FixIt& fix, const Range& quoted) {
        const bool sameLine = fix.range.file == quoted.file && fix.range.line == quoted.line && hasLine(quoted);
        if (!sameLine || fix.range.firstColumn == 0) {
            heading(fix.range, Level::Note,
                    fix.replacement.empty() ? "remove this" : "replace with '" + fix.replacement + "'");
            out_.put('\n');
            quote(fix.range);
            return;
        }
        const auto [first, last] = screenSpan(show(quoted), fix.range.firstColumn, fix.range.lastColumn);
        margin();
        out_.fill(first, ' ');
        paint(p_.fix);
        if (fix.replacement.empty())
            out_.fill(last - first, '-');
        else
            visibleText(fix.replacement);
        paint(p_.reset);
        out_.put('\n');
    }

    void diagnostic(const Diagnostic& d) {
        includeChain(d.range.file);
        heading(d.range, d.level, d.message);
        if (!d.code.empty()) {
            out_.put(" [");
            out_.put(d.code);
            if (!d.name.empty()) {
                out_.put(" -W");
                out_.put(d.name);
            }
            out_.put(']');
        }
        out_.put('\n');
        quote(d.range);
        for (const FixIt& fix : d.fixes) fixIt(fix, d.range);
        for (const Related& r : d.related) {
            heading(r.range, Level::Note, r.message);
            out_.put('\n');
            quote(r.range);
        }
    }
};

}  // namespace

std::string renderText(const Report& report, bool colour) { return TextWriter(report, colour, nullptr).write(); }

void writeText(const Report& report, bool colour, FILE* out) { TextWriter(report, colour, out).write(); }

}  // namespace qvek::diag
