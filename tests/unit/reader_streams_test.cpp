// The line reader against a plain one that takes a byte at a time, on random
// sources, stream buffers of every size, streams that deliver a few bytes at a
// time or fail part-way, and streams read by turns as include levels are.
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "source/reader.h"
#include "test_support.h"

namespace qvek::test {
namespace {

// The reader as first written: one getc per byte, every decision inline.
ReadResult referenceRead(AsmState& st, char* line, FILE* stream) {
    uint32_t length = 0;
    bool inComment = false;
    bool pendingBlank = false;
    for (;;) {
        const int c = getc(stream);
        if (c == EOF) {
            if (ferror(stream)) return ReadFailed;
            if (length == 0) return EndOfFile;
            st.currentLine++;
            break;
        }
        if (c == '\r' || c == '\f') continue;
        if (c == '\n') {
            st.currentLine++;
            inComment = false;
            if (length == 0) continue;
            break;
        }
        if (c == '*') {
            inComment = true;
            continue;
        }
        if (inComment) continue;
        if (c == '\0') {
            st.currentLine++;
            return ZeroByte;
        }
        if (c == ' ' || c == '\t') {
            if (length > 0) pendingBlank = true;
            continue;
        }
        if (length + (pendingBlank ? 1 : 0) >= kMaxLineLength) {
            st.currentLine++;
            return LineTooLong;
        }
        if (pendingBlank) {
            line[length++] = ' ';
            pendingBlank = false;
        }
        line[length++] = static_cast<char>(c >= 'a' && c <= 'z' ? c - 'a' + 'A' : c);
    }
    line[length] = '\0';
    return LineRead;
}

// What one call left behind: its result, the line delivered with its
// terminator, the line count and the stream's position. Past the terminator the
// buffer is the reader's scratch, and after a refusal none of it counts.
struct Call {
    int result;
    std::string buffer;
    int32_t line;
    long position;  // of the stream afterwards, -1 where it has none
    bool operator==(const Call&) const = default;
};

using Reader = ReadResult (*)(AsmState&, char*, FILE*);

Call call(Reader reader, AsmState& st, FILE* stream) {
    char buffer[kLineBufferSize];
    std::memset(buffer, 0x55, sizeof buffer);  // a line without its terminator shows
    const int result = reader(st, buffer, stream);
    const size_t delivered = std::min(strnlen(buffer, sizeof buffer) + 1, sizeof buffer);
    const std::string line = result == LineRead ? std::string(buffer, delivered) : "";
    return {result, line, st.currentLine, std::ftell(stream)};
}

// Source text mixing every kind of byte, with lines short, near 120 and far beyond.
std::string randomSource(std::mt19937& random) {
    static const std::string kOthers[] = {" ",    "\t",  "    ", "\r", "\f", "*", "\v", std::string(1, '\0'),
                                          "\x80", "\xff"};
    std::string text;
    const uint32_t lines = random() % 40;
    for (uint32_t l = 0; l < lines; l++) {
        const uint32_t pick = random() % 10;
        const size_t length = pick < 6 ? random() % 30 : pick < 9 ? 110 + random() % 20 : random() % 5000;
        for (size_t n = 0; n < length; n++) {
            // Mostly characters, so that long lines reach the limit.
            if (random() % 4 == 0)
                text += kOthers[random() % std::size(kOthers)];
            else
                text += "abcXYZ#019"[random() % 10];
        }
        text += random() % 8 == 0 ? "\r\n" : "\n";
    }
    if (random() % 3 == 0) text += std::string("lda 5 * without a line feed").substr(0, random() % 28);
    return text;
}

// Reads a stream to its end with both readers, stepping on past refused lines.
void compareOn(FILE* mine, FILE* theirs, const std::string& what) {
    std::unique_ptr<AsmState> stateA = std::make_unique<AsmState>();
    std::unique_ptr<AsmState> stateB = std::make_unique<AsmState>();
    AsmState& a = *stateA;
    AsmState& b = *stateB;
    for (int n = 0; n < 100000; n++) {
        const Call got = call(readSourceLine, a, mine);
        const Call want = call(referenceRead, b, theirs);
        ASSERT_EQ(got.result, want.result) << what << ", call " << n;
        ASSERT_EQ(got.buffer, want.buffer) << what << ", call " << n;
        ASSERT_EQ(got.line, want.line) << what << ", call " << n;
        ASSERT_EQ(got.position, want.position) << what << ", call " << n;
        if (got.result == EndOfFile || got.result == ReadFailed) break;
    }
}

class ReaderStreams : public ::testing::Test {
  protected:
    // A file holding text; removed with the test.
    std::string file(const std::string& text) {
        std::string pattern = (std::filesystem::temp_directory_path() / "qvek-reader-XXXXXX").string();
        char* name = pattern.data();
        const int fd = mkstemp(name);
        EXPECT_GE(fd, 0);
        EXPECT_EQ(write(fd, text.data(), text.size()), static_cast<ssize_t>(text.size()));
        close(fd);
        names.push_back(name);
        return name;
    }
    ~ReaderStreams() override {
        for (const std::string& name : names) std::remove(name.c_str());
    }
    std::vector<std::string> names;
};

TEST_F(ReaderStreams, MatchTheReferenceWithEveryBufferSize) {
    std::mt19937 random(2024);
    // 0: the stream's own buffer; 1: unbuffered.
    const size_t sizes[] = {0, 1, 2, 3, 7, 64, 121, 4096};
    for (int round = 0; round < 300; round++) {
        const std::string text = randomSource(random);
        const std::string name = file(text);
        const size_t size = sizes[round % std::size(sizes)];
        FILE* mine = std::fopen(name.c_str(), "r");
        FILE* theirs = std::fopen(name.c_str(), "r");
        // Small buffers split lines, runs and comments at every place. The C
        // library takes a size only with the buffer itself.
        std::vector<char> buffer(size);
        if (size == 1)
            setvbuf(mine, nullptr, _IONBF, 0);
        else if (size != 0)
            setvbuf(mine, buffer.data(), _IOFBF, size);
        compareOn(mine, theirs, "round " + std::to_string(round) + ", buffer " + std::to_string(size));
        std::fclose(mine);
        std::fclose(theirs);
        if (HasFatalFailure()) return;
    }
}

// Source text as people write it, which the reader takes sixteen bytes at a
// time: tokens of every length and runs of blanks crossing every chunk edge,
// comments, lines near the limit, and now and then a byte (carriage return,
// vertical tab, form feed, zero) that sends the line back a byte at a time.
std::string chunkySource(std::mt19937& random) {
    const auto blanks = [&](uint32_t most) {
        std::string run;
        for (uint32_t n = random() % most; n > 0; n--) run += random() % 6 == 0 ? '\t' : ' ';
        return run;
    };
    std::string text;
    for (uint32_t l = random() % 60; l > 0; l--) {
        std::string line = blanks(random() % 2 == 0 ? 3 : 40);
        // Short lines mostly; some long enough to reach the room the chunks need and the limit.
        const size_t goal = random() % 4 == 0 ? 90 + random() % 50 : random() % 40;
        while (line.size() < goal) {
            for (uint32_t n = 1 + random() % (random() % 5 == 0 ? 40 : 8); n > 0; n--)
                line += "aZ#9_\x80\xe9,."[random() % 9];
            line += blanks(1 + random() % 20);
        }
        if (random() % 12 == 0) line.insert(random() % (line.size() + 1), 1, "\r\v\f\0"[random() % 4]);
        if (random() % 3 == 0) line += "* note " + std::string(random() % 30, '*') + std::string(1, '\0');
        text += line + (random() % 10 == 0 ? "\r\n" : "\n");
    }
    return text;
}

TEST_F(ReaderStreams, MatchTheReferenceAChunkAtATime) {
    std::mt19937 random(16);
    // Buffers that end lines at every distance from their end, the default one and a large one.
    const size_t sizes[] = {0, 33, 47, 48, 49, 64, 80, 100, 121, 200, 65536};
    for (int round = 0; round < 400; round++) {
        const std::string name = file(chunkySource(random));
        const size_t size = sizes[round % std::size(sizes)];
        FILE* mine = std::fopen(name.c_str(), "r");
        FILE* theirs = std::fopen(name.c_str(), "r");
        std::vector<char> buffer(size);
        if (size != 0) setvbuf(mine, buffer.data(), _IOFBF, size);
        compareOn(mine, theirs, "round " + std::to_string(round) + ", buffer " + std::to_string(size));
        std::fclose(mine);
        std::fclose(theirs);
        if (HasFatalFailure()) return;
    }
}

// The digest of a file's lines, read through a buffer of size bytes (1: unbuffered).
uint64_t digestOf(const std::string& name, size_t size) {
    std::unique_ptr<AsmState> st = std::make_unique<AsmState>();
    FILE* stream = std::fopen(name.c_str(), "r");
    std::vector<char> buffer(size);
    if (size == 1)
        setvbuf(stream, nullptr, _IONBF, 0);
    else
        setvbuf(stream, buffer.data(), _IOFBF, size);
    char line[kLineBufferSize];
    for (ReadResult r; (r = readSourceLine(*st, line, stream)) != EndOfFile && r != ReadFailed;) {
    }
    std::fclose(stream);
    return st->linesDigest;
}

TEST_F(ReaderStreams, DigestTheSameLinesAlikeHoweverTheyAreTaken) {
    std::mt19937 random(48);
    for (int round = 0; round < 100; round++) {
        const std::string name = file(chunkySource(random));
        const uint64_t bytewise = digestOf(name, 1);
        for (size_t size : {49, 121, 65536}) ASSERT_EQ(digestOf(name, size), bytewise) << "round " << round << ", buffer " << size;
    }
}

// A stream that hands out its text a few bytes per read, as a pipe does, and
// reports a read error after failAfter bytes.
struct Trickle {
    std::string text;
    size_t at = 0;
    size_t failAfter;
    std::mt19937 random;
    static ssize_t read(void* cookie, char* into, size_t size) {
        auto& t = *static_cast<Trickle*>(cookie);
        if (t.at >= t.failAfter) return -1;
        size_t n = std::min({size, 1 + static_cast<size_t>(t.random() % 50), t.text.size() - t.at, t.failAfter - t.at});
        std::memcpy(into, t.text.data() + t.at, n);
        t.at += n;
        return static_cast<ssize_t>(n);
    }
};

TEST_F(ReaderStreams, MatchTheReferenceOnTricklingAndFailingStreams) {
    std::mt19937 random(7);
    for (int round = 0; round < 200; round++) {
        const std::string text = randomSource(random);
        const size_t failAfter = round % 2 == 0 ? text.size() + 1 : random() % (text.size() + 1);
        Trickle a{text, 0, failAfter, std::mt19937(round)};
        Trickle b{text, 0, failAfter, std::mt19937(round)};
        const cookie_io_functions_t io = {Trickle::read, nullptr, nullptr, nullptr};
        FILE* mine = fopencookie(&a, "r", io);
        FILE* theirs = fopencookie(&b, "r", io);
        compareOn(mine, theirs, "round " + std::to_string(round));
        std::fclose(mine);
        std::fclose(theirs);
        if (HasFatalFailure()) return;
    }
}

TEST_F(ReaderStreams, LevelsReadByTurnsKeepTheirOwnPlace) {
    // An including file, the file it includes, and a file opened where a closed one was.
    const std::string outer = file("LDA 1\nINC INNER\n* between\nLDA 2\n" + std::string(200, 'x') + "\nLDA 3\n");
    const std::string inner = file("NOP\n\n  ret * back\n");
    FILE* level0 = std::fopen(outer.c_str(), "r");
    std::unique_ptr<AsmState> st = std::make_unique<AsmState>();
    std::vector<std::string> lines;
    char line[kLineBufferSize];
    ASSERT_EQ(readSourceLine(*st, line, level0), LineRead);
    ASSERT_EQ(readSourceLine(*st, line, level0), LineRead);
    FILE* level1 = std::fopen(inner.c_str(), "r");
    while (readSourceLine(*st, line, level1) == LineRead) lines.push_back(line);
    std::fclose(level1);
    ASSERT_EQ(readSourceLine(*st, line, level0), LineRead);
    lines.push_back(line);
    EXPECT_EQ(readSourceLine(*st, line, level0), LineTooLong);
    // Left in the middle of its too long line, then closed: the next stream owes it nothing.
    std::fclose(level0);
    FILE* again = std::fopen(inner.c_str(), "r");
    while (readSourceLine(*st, line, again) == LineRead) lines.push_back(line);
    std::fclose(again);
    EXPECT_EQ(lines, (std::vector<std::string>{"NOP", "RET", "LDA 2", "NOP", "RET"}));
}

}  // namespace
}  // namespace qvek::test
