#include "inspect/source_listing.h"

#include <cstring>
#include <new>
#include <string>

#include "core/observer.h"

namespace qvek {

namespace {

constexpr uint32_t kAfterAllLines = UINT32_MAX;  // Lister::number once the pass has read every line
constexpr char kHexDigits[] = "0123456789abcdef";

// The first assembly keeps the messages of pass 2, each with the number of the
// statement line it belongs to, for the listing to show them there.
struct LaterMessage {
    uint32_t line = 0;
    std::string text;
    bool valid = false;
};

void keepMessage(FILE* later, uint32_t line, const char* text) {
    const auto length = static_cast<uint32_t>(std::strlen(text));
    std::fwrite(&line, sizeof line, 1, later);
    std::fwrite(&length, sizeof length, 1, later);
    std::fwrite(text, 1, length, later);
}

LaterMessage nextMessage(FILE* later) {
    LaterMessage message;
    uint32_t length = 0;
    if (std::fread(&message.line, sizeof message.line, 1, later) != 1 ||
        std::fread(&length, sizeof length, 1, later) != 1)
        return message;
    message.text.resize(length);
    message.valid = std::fread(message.text.data(), 1, length, later) == length;
    return message;
}

struct FirstRun {
    Record* record;
    FILE* later;              // pass 2's messages
    std::string* afterwards;  // the messages of the run between and after the passes: one per pattern slot at most
};

void observeFirst(void* context, const AsmState& st, const AsmEvent& event) {
    const auto& run = *static_cast<FirstRun*>(context);
    recordEvent(run.record, st, event);
    if (event.kind != EventKind::Message || event.pass == 1) return;
    // Pass 2 tells of a line after its messages, so a message belongs to the next line it tells of.
    if (event.pass == 2)
        keepMessage(run.later, run.record->lines[2] + 1, event.message.text);
    else
        *run.afterwards += event.message.text;
}

// A file being listed, read beside the pass that reads it.
struct ListedFile {
    FILE* stream = nullptr;  // null when it could not be opened again
    int32_t printed = 0;     // its lines listed so far
    uint32_t instance = 0;   // which entering of a file this is, so a marker is printed on each change
};

struct Lister {
    Lister(FILE* out_, const AsmState& first_, const Record& record_, FILE* later_)
        : out(out_), first(first_), record(record_), later(later_) {}
    FILE* out;
    const AsmState& first;  // the record's assembly: the final image
    const Record& record;
    FILE* later;
    LaterMessage next;
    ListedFile files[kMaxIncludeFiles];
    uint32_t instances = 0;  // files entered so far
    uint32_t marked = 0;     // the instance the last marker named
    uint32_t number = 0;     // statement lines told of so far
    char address[16] = {};   // what a directive of the current line set, shown in the address column
    char data[32] = {};      // and in the data column
    std::string messages;    // the messages the current line drew
    bool stopped = false;    // the assembly stopped: nothing more is listed
};

// Copies the rest of a line as typed, without its line break.
void copyLine(FILE* in, FILE* out) {
    bool carriageReturn = false;  // held back: before a line feed it is part of the line break
    for (int c = getc_unlocked(in); c != EOF && c != '\n'; c = getc_unlocked(in)) {
        if (carriageReturn) putc_unlocked('\r', out);
        carriageReturn = c == '\r';
        if (!carriageReturn) putc_unlocked(c, out);
    }
}

int peek(FILE* in) {
    const int c = getc_unlocked(in);
    if (c != EOF) ungetc(c, in);
    return c;
}

void printMarker(Lister& l, const char* file, uint32_t depth) {
    std::fprintf(l.out, "=== %s (depth %u)\n", file, depth);
}

// Lists the lines of the file at depth up to line: those no event named (blank
// lines and comments) plain, line itself with its address and data.
void listThrough(Lister& l, uint32_t depth, const char* file, int32_t line, const char* address, const char* data) {
    ListedFile& f = l.files[depth];
    while (f.printed < line) {
        if (f.instance != l.marked) {
            printMarker(l, file, depth);
            l.marked = f.instance;
        }
        const bool named = ++f.printed == line;
        const bool described = named && (address[0] != '\0' || data[0] != '\0');
        const int next = f.stream != nullptr ? peek(f.stream) : EOF;
        std::fprintf(l.out, "%*d", kListingLineWidth, f.printed);
        // No blanks behind the number of an empty line.
        if (described)
            std::fprintf(l.out, " %-*s %-*s ", kListingAddressWidth, address, kListingDataWidth, data);
        else if (next != '\n' && next != EOF)
            std::fprintf(l.out, " %*s ", kListingAddressWidth + 1 + kListingDataWidth, "");
        if (f.stream == nullptr)
            std::fputs(" (not read again)", l.out);
        else
            copyLine(f.stream, l.out);
        std::fputc('\n', l.out);
    }
}

// Prints a message beneath its line, each of its lines indented; its leading line break is the listing's own.
void printMessage(FILE* out, const char* text) {
    if (text[0] == '\0') return;
    if (text[0] == '\n') text++;
    for (;;) {
        const char* end = std::strchr(text, '\n');
        const int length = static_cast<int>(end != nullptr ? end - text : std::strlen(text));
        std::fprintf(out, "%*s %.*s\n", kListingLineWidth, "", length, text);
        if (end == nullptr) return;
        text = end + 1;
    }
}

// The messages of the current line, then those later passes kept for it.
void printMessages(Lister& l) {
    printMessage(l.out, l.messages.c_str());
    l.messages.clear();
    l.address[0] = l.data[0] = '\0';
    while (l.next.valid && l.next.line <= l.number) {
        printMessage(l.out, l.next.text.c_str());
        l.next = nextMessage(l.later);
    }
}

// The nibbles a statement wrote, as memory holds them in the end: '-' where a
// later statement wrote over one, '?' for a target pass 2 never reached.
void nibblesOf(const Lister& l, const AsmEvent& e, char (&text)[32]) {
    const StatementEvent& s = e.statement;
    uint32_t k = 0;
    for (; k < s.size && s.address + k < kProgramNibbles && k + 1 < sizeof text; k++) {
        const uint32_t at = s.address + k;
        const bool target = (s.written >> k & 1) == 0;  // written by pass 2
        if (target && !targetsFilled(l.record, l.number))
            text[k] = '?';
        else if (l.record.nibbles[at].statement == l.number)
            text[k] = kHexDigits[l.first.programImage[at] & 0xF];
        else
            text[k] = '-';
    }
    text[k] = '\0';
}

void listStatement(Lister& l, const AsmState& st, const AsmEvent& e) {
    const StatementEvent& s = e.statement;
    l.number++;
    char address[16] = {};
    char data[32] = {};
    if (s.size > 0) {
        std::snprintf(address, sizeof address, "0x%3.3x", s.address);
        if (s.completed) nibblesOf(l, e, data);
    } else if (s.nameCount > 0 && s.names[0].operand == 0 && s.names[0].entry >= 0) {
        // A label names the address of the next statement, or the origin an ORG PGM set.
        std::snprintf(address, sizeof address, "0x%3.3x",
                      static_cast<uint32_t>(st.programLabels[s.names[0].entry].address));
    }
    if (l.address[0] != '\0') std::memcpy(address, l.address, sizeof address);
    if (l.data[0] != '\0') std::memcpy(data, l.data, sizeof data);
    // An INC line has been listed already, when its file was entered.
    if (l.files[e.depth].printed < e.line) listThrough(l, e.depth, e.file, e.line, address, data);
    printMessages(l);
    // Pass 2 stopped at this line: the listing stops with it.
    if (l.number == l.record.lines[2] && l.record.completed[2] < l.record.lines[2]) l.stopped = true;
}

void enterFile(Lister& l, const AsmState& st, const AsmEvent& e) {
    if (e.depth > 0) {
        // The INC line, before the lines of its file.
        const uint32_t parent = e.depth - 1;
        if (l.files[parent].printed < st.savedLines[0])
            listThrough(l, parent, st.includeNames[1], st.savedLines[0], "", "");
    }
    ListedFile& f = l.files[e.depth];
    f = ListedFile{std::fopen(e.file, "rb"), 0, ++l.instances};
    printMarker(l, e.file, e.depth);
    l.marked = f.instance;
}

void leaveFile(Lister& l, const AsmEvent& e) {
    ListedFile& f = l.files[e.depth];
    if (!l.stopped && !e.completed) {
        // The line the pass failed at, if no statement told of it (the reader refused it).
        if (f.printed < e.line) listThrough(l, e.depth, e.file, e.line, l.address, l.data);
        printMessages(l);
        l.stopped = true;
    }
    if (!l.stopped && f.stream != nullptr) {
        while (peek(f.stream) != EOF) listThrough(l, e.depth, e.file, f.printed + 1, "", "");
    }
    if (f.stream != nullptr) std::fclose(f.stream);
    f.stream = nullptr;
}

void observeListing(void* context, const AsmState& st, const AsmEvent& e) {
    Lister& l = *static_cast<Lister*>(context);
    if (e.kind == EventKind::FileLeft) {
        leaveFile(l, e);
        return;
    }
    if (l.stopped) return;
    switch (e.kind) {
        case EventKind::FileEntered: enterFile(l, st, e); break;
        case EventKind::Statement: listStatement(l, st, e); break;
        case EventKind::Message: l.messages += e.message.text; break;
        case EventKind::Constant: std::snprintf(l.data, sizeof l.data, "= 0x%8.8x", e.constant.value); break;
        case EventKind::PatternWord:
            std::snprintf(l.address, sizeof l.address, "0x%4.4x", 2 * e.pattern.slot);
            std::snprintf(l.data, sizeof l.data, "= 0x%8.8x", e.pattern.value);
            break;
        case EventKind::Origin:
            if (e.origin.ignored)
                std::snprintf(l.data, sizeof l.data, "ignored");
            else if (e.origin.segment == Segment::Program)
                std::snprintf(l.address, sizeof l.address, "0x%3.3x", e.origin.origin);
            else
                std::snprintf(l.address, sizeof l.address, "0x%4.4x", 2 * e.origin.origin);
            if (!e.origin.ignored) std::snprintf(l.data, sizeof l.data, "origin");
            break;
        case EventKind::FileLeft: break;
    }
}

}  // namespace

std::unique_ptr<SourceListing> SourceListing::create() {
    std::unique_ptr<SourceListing> listing(new (std::nothrow) SourceListing());
    if (listing == nullptr) return nullptr;
    listing->first_.reset(new (std::nothrow) AsmState());
    listing->record_.reset(new (std::nothrow) Record());
    listing->later_ = std::tmpfile();
    if (listing->first_ == nullptr || listing->record_ == nullptr || listing->later_ == nullptr) return nullptr;
    return listing;
}

SourceListing::~SourceListing() {
    if (later_ != nullptr) std::fclose(later_);
}

SourceResult SourceListing::assemble(const char* sourceName, FILE* messages) {
    sourceName_ = sourceName;
    record_->messages = messages;
    FirstRun run{record_.get(), later_, &afterwards_};
    first_->observer = observeFirst;
    first_->observerContext = &run;
    const SourceResult result = assembleSilently(*first_, sourceName, true);
    endMessages(*record_);
    first_->observer = nullptr;
    return result;
}

int SourceListing::write(FILE* out) {
    std::unique_ptr<AsmState> st(new (std::nothrow) AsmState());
    auto lister = std::unique_ptr<Lister>(new (std::nothrow) Lister(out, *first_, *record_, later_));
    if (st == nullptr || lister == nullptr || std::fseek(later_, 0, SEEK_SET) != 0) return -1;
    Lister& l = *lister;
    l.next = nextMessage(later_);
    std::fprintf(out, "%*s %-*s %-*s %s\n", kListingLineWidth, "LINE", kListingAddressWidth, "ADDR", kListingDataWidth,
                 "DATA", "SOURCE");
    st->observer = observeListing;
    st->observerContext = &l;
    // The record's assembly has decided whether the source assembles; this one only reads it again.
    assembleSilently(*st, sourceName_, false);
    l.number = kAfterAllLines;
    printMessages(l);
    printMessage(out, afterwards_.c_str());
    return 0;
}

}  // namespace qvek
