// libFuzzer entry: the input bytes choose a session of didOpen, didChange
// (whole and by ranges) and didClose notifications on one file under two URI
// spellings, framed and fed to the server in pieces cut anywhere, with a
// malformed header now and then. One server serves every input, both
// spellings closed before each: making one costs more than the session.
// After every piece the server's copy of the file must equal what an editor
// holds, kept here by the plainest code: lines
// end at "\n", "\r\n" or a lone "\r", columns count UTF-16 units, a column
// past a line's end is that end, a line past the last is the text's end, and
// a notification with a number outside 0..2^32-1 changes nothing.
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "lsp/server.h"

namespace {

using qvek::lsp::json;

std::string root;  // an empty workspace folder: the file is never assembled from disk
qvek::lsp::Server* server = nullptr;
std::string uris[2];   // the file's two spellings
std::string closeBoth;  // both closed, before each session
constexpr int kMaxSteps = 16;  // notifications in one session

void removeRoot() { std::filesystem::remove_all(root); }

// The input read as choices; zeros once it runs out.
struct Choices {
    const uint8_t* data;
    size_t size;
    size_t at = 0;
    unsigned next() { return at < size ? data[at++] : 0; }
    bool more() const { return at < size; }
    // Once the session has used the input, the bytes are read again from the start: a stream cut
    // into single bytes from there on costs a check per byte and finds no more than cuts of every length.
    unsigned again() { return size == 0 ? 0 : data[at++ % size]; }
};

// Line ends of every kind, characters of one to four bytes (the last a surrogate pair), blanks and statements.
const char* const kPieces[] = {"\n", "\r\n", "\r", "a", "Z", " ", "\xC3\xA4", "\xE2\x82\xAC", "\xF0\x9F\x98\x80",
                               "NOP", "#L ", "*", "\t"};

std::string textOf(Choices& in) {
    std::string text;
    for (unsigned n = in.next() % 24; n > 0; n--) text += kPieces[in.next() % std::size(kPieces)];
    return text;
}

// A line or character number: mostly small, sometimes past a line's end or past every line, at
// 2^32 - 1, and now and then beyond that or negative, which voids the whole notification (rare
// enough that most notifications with three ranges still change the text).
int64_t numberOf(Choices& in) {
    const unsigned c = in.next();
    switch (c % 64) {
        case 0: return UINT32_MAX;
        case 1: return 4294967299LL;
        case 2: return -1;
        case 3: return -4294967293LL;
        case 4: case 5: case 6: case 7: return 100 + c;
        default: return c % 12;
    }
}

bool valid(int64_t n) { return n >= 0 && n <= UINT32_MAX; }

// The reference: the byte offset of a position, walked one line end and one character at a time.
size_t offsetOf(const std::string& s, uint64_t line, uint64_t character) {
    size_t i = 0;
    for (uint64_t l = 0; l < line; l++) {
        while (i < s.size() && s[i] != '\n' && s[i] != '\r') i++;
        if (i == s.size()) return i;
        i += s[i] == '\r' && i + 1 < s.size() && s[i + 1] == '\n' ? 2 : 1;
    }
    for (uint64_t units = 0; units < character && i < s.size() && s[i] != '\n' && s[i] != '\r';) {
        const auto c = static_cast<unsigned char>(s[i]);
        const size_t bytes = c < 0x80 ? 1 : c < 0xE0 ? 2 : c < 0xF0 ? 3 : 4;
        i += bytes;
        units += bytes == 4 ? 2 : 1;
    }
    return i;
}

// What the editor holds.
struct Editor {
    unsigned open = 0;  // a bit for each spelling open
    std::string text;
};

struct Step {
    std::string message;  // its body
    Editor after;
};

// The bodies are written as text, each string in them escaped by the JSON library: a tree of
// objects built and dumped for every message would cost more than the server's work on it.
std::string jsonString(const std::string& s) { return json(s).dump(); }

std::string position(int64_t line, int64_t character) {
    return R"({"line":)" + std::to_string(line) + R"(,"character":)" + std::to_string(character) + "}";
}

Step makeStep(Choices& in, const Editor& before) {
    Step step{std::string(), before};
    Editor& e = step.after;
    const unsigned spelling = in.next() % 2;
    const std::string document = R"({"textDocument":{"uri":)" + jsonString(uris[spelling]) + R"(,"version":1)";
    std::string method, params;
    switch (in.next() % 8) {
        case 0:
            e.text = textOf(in);
            e.open |= 1u << spelling;
            method = "didOpen";
            params = document + R"(,"languageId":"qvek","text":)" + jsonString(e.text) + "}}";
            break;
        case 1:
            e.open &= ~(1u << spelling);
            if (e.open == 0) e.text.clear();
            method = "didClose";
            params = document + "}}";
            break;
        default: {
            std::string changes;
            std::string text = e.text;
            bool applies = (e.open >> spelling & 1) != 0;
            for (unsigned n = 1 + in.next() % 3; n > 0; n--) {
                const std::string inserted = textOf(in);
                if (!changes.empty()) changes += ',';
                if (in.next() % 5 == 0) {
                    changes += R"({"text":)" + jsonString(inserted) + "}";
                    text = inserted;
                    continue;
                }
                const int64_t a[2] = {numberOf(in), numberOf(in)};
                const int64_t b[2] = {numberOf(in), numberOf(in)};
                changes += R"({"range":{"start":)" + position(a[0], a[1]) + R"(,"end":)" + position(b[0], b[1]) +
                           R"(},"text":)" + jsonString(inserted) + "}";
                if (!valid(a[0]) || !valid(a[1]) || !valid(b[0]) || !valid(b[1])) {
                    applies = false;
                    continue;
                }
                size_t from = offsetOf(text, a[0], a[1]);
                size_t to = offsetOf(text, b[0], b[1]);
                if (to < from) std::swap(from, to);
                text.replace(from, to - from, inserted);
            }
            if (applies) e.text = text;
            method = "didChange";
            params = document + R"(},"contentChanges":[)" + changes + "]}";
            break;
        }
    }
    step.message = R"({"jsonrpc":"2.0","method":"textDocument/)" + method + R"(","params":)" + params + "}";
    return step;
}

std::string framed(const std::string& body) {
    return "Content-Length: " + std::to_string(body.size()) + "\r\n\r\n" + body;
}

void check(const Editor& editor) {
    for (int s = 0; s < 2; s++) {
        const qvek::lsp::Document* d = server->documents().byUri(uris[s]);
        if ((d != nullptr) != ((editor.open >> s & 1) != 0)) {
            std::fprintf(stderr, "spelling %d open: server %d, editor %u\n", s, d != nullptr, editor.open >> s & 1);
            std::abort();
        }
        if (d != nullptr && d->text->bytes() != editor.text) {
            std::fprintf(stderr, "server holds\n%s\neditor holds\n%s\n", json(d->text->bytes()).dump().c_str(),
                         json(editor.text).dump().c_str());
            std::abort();
        }
    }
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    root = (std::filesystem::temp_directory_path() / ("qvek-lsp-text-fuzz-" + std::to_string(getpid()))).string();
    std::filesystem::create_directories(root);
    std::atexit(removeRoot);
    server = new qvek::lsp::Server([](const std::string&) {}, root);
    const std::string start =
        framed(R"({"jsonrpc":"2.0","id":1,"method":"initialize","params":{"capabilities":{}}})") +
        framed(R"({"jsonrpc":"2.0","method":"initialized","params":{}})");
    server->receive(start.data(), start.size());
    uris[0] = "file://" + root + "/t.inc";
    uris[1] = "file://" + root + "/./%74.inc";
    for (const std::string& uri : uris)
        closeBoth += framed(json{{"jsonrpc", "2.0"}, {"method", "textDocument/didClose"},
                                 {"params", {{"textDocument", {{"uri", uri}}}}}}.dump());
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    server->receive(closeBoth.data(), closeBoth.size());
    check(Editor{});

    // The whole session as one stream, and where each message ends in it.
    Choices in{data, size};
    std::string stream;
    std::vector<std::pair<size_t, Editor>> ends;
    Editor editor;
    for (int n = 0; n < kMaxSteps && in.more(); n++) {
        // A header block with bare line feeds, or without its blank line, must not take the next message.
        if (in.next() % 8 == 0) stream += in.next() % 2 == 0 ? "Content-Length: 2\n\n{}" : "Content-Length: 2\r\n{}";
        Step step = makeStep(in, editor);
        stream += framed(step.message);
        editor = step.after;
        ends.emplace_back(stream.size(), editor);
    }
    // Fed in pieces cut anywhere; whenever a message is whole, the copies must agree.
    size_t fed = 0, done = 0;
    Editor held;
    while (fed < stream.size()) {
        const size_t piece = std::min<size_t>(1 + in.again() % 97, stream.size() - fed);
        server->receive(stream.data() + fed, piece);
        fed += piece;
        while (done < ends.size() && ends[done].first <= fed) held = ends[done++].second;
        check(held);
    }
    return 0;
}
