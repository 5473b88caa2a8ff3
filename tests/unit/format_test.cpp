// The formatter against what it promises, on random trees of sources with
// includes, with and without faults: the assembler writes the same load file
// in both layouts and says the same before and after; every line keeps its
// place, its tokens (but for case) and its comment; no line grows past what
// the assembler reads; a line it cannot read stays as it was; and formatting
// twice changes nothing more. The tokens are checked against a plain split of
// each line, not against the formatter's own reading.
#include "format/formatter.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "app/run.h"
#include "core/asm_state.h"
#include "format/layout.h"
#include "test_support.h"

namespace qvek::format {
namespace {

namespace fs = std::filesystem;

// Random sources in every shape the formatter meets, most of them assembling, many not.
class Sources {
  public:
    explicit Sources(uint32_t seed) : rng_(seed) {}

    std::string file(bool includes) {
        const char* ending = chance(30) ? "\r\n" : "\n";
        std::string text;
        const int lines = pick(40);
        for (int i = 0; i < lines; i++) {
            text += line(includes);
            text += chance(3) ? (chance(50) ? "\n" : "\r\n") : ending;
        }
        if (chance(15)) text += line(includes);  // a last line without its line end
        return text;
    }

  private:
    int pick(int n) { return static_cast<int>(rng_() % static_cast<uint32_t>(n)); }
    bool chance(int percent) { return pick(100) < percent; }
    template <size_t N>
    const char* oneOf(const char* const (&words)[N]) {
        return words[pick(N)];
    }

    std::string blanks() {
        std::string s;
        for (int i = 0, n = 1 + pick(chance(10) ? 12 : 3); i < n; i++) s += chance(25) ? '\t' : ' ';
        return s;
    }
    std::string mixedCase(std::string s) {
        for (char& c : s)
            if (c >= 'A' && c <= 'Z' && chance(40)) c = static_cast<char>(c - 'A' + 'a');
        return s;
    }
    std::string name() {
        static const char* const names[] = {"#LOOP", "#START", "#A", "#N1", "#MODE_RUN", "#P",
                                            "#A_NAME_LONGER_THAN_THE_COLUMN_CAPS"};
        return chance(3) ? "#" + std::string(70 + pick(20), 'X') : oneOf(names);
    }
    std::string number() {
        static const char* const numbers[] = {"0", "7", "D12", "H1F", "X2a", "B1011", "0X1F", "H40", "HFFFFFFFF",
                                              "1Z"};
        return oneOf(numbers);
    }
    std::string operand() { return chance(50) ? name() : number(); }

    std::string statement(bool includes) {
        static const char* const words[] = {"NOP", "IPP", "DPP", "RET", "LPB", "LPE", "LMR", "LRB", "LDA",
                                            "LSR", "DMS", "DSC", "DUS", "LPP", "CAL", "JCB", "JMP", "FOO"};
        static const char* const operators[] = {"NOT", "AND", "OR", "XOR"};
        std::string s;
        switch (pick(includes ? 7 : 6)) {
            case 0:
                s = "DEF" + blanks() + name() + blanks() + operand();
                while (chance(30)) s += blanks() + oneOf(operators) + blanks() + operand();
                break;
            case 1:
                s = "PAT" + (chance(60) ? blanks() + name() : "") + blanks() + number();
                if (chance(20)) s += blanks() + number();
                break;
            case 2: s = std::string("ORG") + blanks() + (chance(50) ? "PGM" : "PAT") + blanks() + number(); break;
            case 6: s = "INC" + blanks() + (chance(50) ? "b.inc" : "B.INC"); break;
            default:
                s = oneOf(words);
                for (int i = 0, n = pick(3); i < n; i++) s += blanks() + operand();
        }
        return s;
    }
    std::string comment() {
        static const char kText[] = "abc XYZ*#\t 1;*";
        std::string s = "*";
        for (int i = 0, n = pick(30); i < n; i++) s += kText[pick(sizeof kText - 1)];
        return s;
    }

    std::string line(bool includes) {
        switch (pick(20)) {
            case 0: return "";
            case 1: return blanks();
            case 2: return comment();
            case 3: return blanks() + comment();
            // Lines the assembler cannot read as they are: too long, odd bytes, bytes it reads past.
            case 4:
                if (chance(50)) {
                    static const char* const odd[] = {"NOP\x01", "LDA \xC3\xA9", "\f", "NOP\rNOP", "LDA\f1",
                                                      "NOP\v1", "LDA 1\r"};
                    return oneOf(odd);
                }
                if (chance(50)) return "NOP" + std::string(130, ' ') + "1";
                {
                    // Around the longest line the assembler takes: 8 + 5 * 22 characters is the last within it.
                    std::string s = mixedCase("#L DEF #X 1");
                    for (int i = 0, n = 20 + pick(6); i < n; i++) s += " OR 1";
                    return s;
                }
            default: break;
        }
        std::string s = chance(20) ? blanks() : "";
        if (chance(35)) s += name() + (chance(10) ? "" : blanks());
        if (s.empty() || s.back() == ' ' || s.back() == '\t') s += statement(includes);
        s = mixedCase(s);
        if (chance(30)) s += (chance(80) ? blanks() : "") + comment();
        if (chance(10)) s += blanks();
        return s;
    }

    std::mt19937 rng_;
};

// The lines of a text, each with its line end.
std::vector<std::string> linesOf(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string l; std::getline(in, l);) lines.push_back(in.eof() ? l : l + "\n");
    return lines;
}

// What the assembler must see of a line, taken plainly: its tokens upper-cased,
// and its comment without the trailing blanks; null when the line is one it
// cannot read, which must stay exactly as it was.
struct Reading {
    bool readable = true;
    bool tooLong = false;
    std::vector<std::string> tokens;
    std::string comment;
};

Reading read(std::string line) {
    // A carriage return ends a line only before its line feed; anywhere else the assembler reads past it.
    if (!line.empty() && line.back() == '\n') {
        line.pop_back();
        if (!line.empty() && line.back() == '\r') line.pop_back();
    }
    Reading r;
    const size_t star = line.find('*');
    const std::string statement = line.substr(0, star);
    std::string token;
    bool dropped = false;
    size_t length = 0;
    for (const char c : statement + ' ') {
        if (c == ' ' || c == '\t') {
            if (!token.empty()) r.tokens.push_back(token), length += token.size() + 1;
            token.clear();
        } else if (c == '\r' || c == '\f') {
            dropped = true;
        } else {
            if (static_cast<unsigned char>(c) < ' ' || static_cast<unsigned char>(c) >= 0x7F) r.readable = false;
            token += static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
        }
    }
    if (dropped) r.readable = false;
    if (length > kMaxLineLength + 1) r.readable = false, r.tooLong = true;
    if (star != std::string::npos) r.comment = line.substr(star);
    while (!r.comment.empty() && (r.comment.back() == ' ' || r.comment.back() == '\t')) r.comment.pop_back();
    return r;
}

// The load file and everything the assembler said, over the files in the current folder.
std::string assemble(const std::vector<std::string>& words) {
    auto st = std::make_unique<AsmState>();
    test::Capture console;
    st->console = console.stream();
    std::vector<const char*> argv;
    for (const std::string& w : words) argv.push_back(w.c_str());
    const int status = runAssembly(*st, static_cast<int>(argv.size()), argv.data());
    std::stringstream loadFile;
    loadFile << std::ifstream("OUT.UCD", std::ios::binary).rdbuf();
    fs::remove("OUT.UCD");
    return "status " + std::to_string(status) + "\n" + console.text() + "\n--- load file\n" + loadFile.str();
}

std::string runs() {
    return assemble({"MAIN.QVS", "OUT.UCD"}) + assemble({"-i", "MAIN.QVS", "OUT.UCD"}) +
           assemble({"-d", "MAIN.QVS", "OUT.UCD"});
}

void checkLines(const std::string& before, const Formatted& f) {
    const std::vector<std::string> a = linesOf(before);
    const std::vector<std::string> b = linesOf(f.text);
    ASSERT_EQ(a.size(), b.size()) << f.text;
    size_t note = 0;
    for (size_t i = 0; i < a.size(); i++) {
        const Reading was = read(a[i]);
        const bool noted = note < f.notes.size() && f.notes[note].line == i + 1;
        note += noted;
        const bool pageBreak = !was.readable && was.tokens.empty() && !was.tooLong;
        EXPECT_EQ(noted, !was.readable && !pageBreak) << "line " << i + 1 << ": " << a[i];
        if (!was.readable) {
            EXPECT_EQ(b[i], a[i]) << "line " << i + 1;
            continue;
        }
        const Reading is = read(b[i]);
        EXPECT_EQ(is.tokens, was.tokens) << "line " << i + 1 << ": " << a[i] << " -> " << b[i];
        EXPECT_EQ(is.comment, was.comment) << "line " << i + 1;
        EXPECT_LE(b[i].find('*') == std::string::npos ? b[i].find_first_of("\r\n") : b[i].find('*'),
                  size_t{kMaxLineLength})
            << b[i];
        EXPECT_EQ(b[i].find('\t') < b[i].find('*'), false) << b[i];
        EXPECT_EQ(b[i].back(), '\n') << "every line ends";
    }
    EXPECT_EQ(note, f.notes.size());
}

TEST(Format, KeepsWhatTheAssemblerReadsOnRandomTrees) {
    test::Folder folder;
    setenv("SOURCE_DATE_EPOCH", "1700000000", 1);
    const char* const names[] = {"MAIN.QVS", "A.INC", "B.INC"};
    for (uint32_t seed = 1; seed <= 150; seed++) {
        SCOPED_TRACE("seed " + std::to_string(seed));
        Sources sources(seed);
        std::string texts[3];
        for (int i = 0; i < 3; i++) {
            texts[i] = (i == 0 && seed % 2 == 0 ? "inc a.inc\n" : "") + sources.file(i < 2);
            folder.write(names[i], texts[i]);
        }
        const std::string before = runs();
        for (int i = 0; i < 3; i++) {
            const Formatted f = formatSource(texts[i]);
            ASSERT_TRUE(f.isText);
            checkLines(texts[i], f);
            EXPECT_EQ(formatSource(f.text).text, f.text) << "formatting again changes it";
            folder.write(names[i], f.text);
        }
        EXPECT_EQ(runs(), before);
        if (HasFailure()) {
            for (int i = 0; i < 3; i++) ADD_FAILURE() << names[i] << ":\n" << texts[i];
            return;
        }
    }
}

// Each layout rule once, and the bundled example, which must already be formatted.
TEST(Format, LaysOutColumnsForTheWholeFile) {
    const struct {
        std::string in;
        std::string out;
    } cases[] = {
        // Labels first, words in one column, operands after them, comments aligned; case and tabs go.
        {"#start lmr #mode * run\n\tjcb #start 1\t*  next \n",
         "#START  LMR #MODE               * run\n        JCB #START 1            *  next\n"},
        // Comment-only lines keep their class: the first column, or the words' column.
        {"* top\n   * inner\n\t\t* deeper\n", "* top\n        * inner\n        * deeper\n"},
        // Names of DEF and PAT get a column of their values; the words' column follows the longest label.
        {"def #a 1\ndef #longer_name h2 or 1\n#label_of_12 nop\n",
         "                DEF #A              1\n                DEF #LONGER_NAME    H2 OR 1\n#LABEL_OF_12    NOP\n"},
        // A label past the cap takes one blank and pushes no column; CRLF stays; the last line is ended.
        {"#A_LABEL_FAR_TOO_LONG nop\r\n#B ret", "#A_LABEL_FAR_TOO_LONG NOP\r\n#B      RET\r\n"},
        // A comment glued to a token stays a comment; a line past 120 with its columns takes single blanks.
        {"lda 1*x\n", "        LDA 1                   *x\n"},
        {"#L " + std::string(100, 'N') + " 1 2 3 4 5 6 * c\n", "#L " + std::string(100, 'N') + " 1 2 3 4 5 6 * c\n"},
        // Empty lines and trailing blanks.
        {"\n  \n\t\n", "\n\n\n"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(formatSource(c.in).text, c.out) << c.in;
        EXPECT_EQ(formatSource(c.out).text, c.out) << c.out;
    }

    for (const char* name : {"main.qvs", "COMMON.INC", "PATTERNS.INC", "ROUTINES.INC"}) {
        std::stringstream text;
        text << std::ifstream(std::string(QVEK_SOURCE_DIR "/examples/") + name, std::ios::binary).rdbuf();
        EXPECT_EQ(formatSource(text.str()).text, text.str()) << name;
    }
}

TEST(Format, LeavesLinesItCannotReadAsTheyStand) {
    const std::string tooLong = "LDA " + std::string(120, '1') + "\n";
    const Formatted f = formatSource("nop\n" + tooLong + "a\rb\n\f\nnop\n");
    EXPECT_EQ(f.text, "        NOP\n" + tooLong + "a\rb\n\f\n        NOP\n");
    ASSERT_EQ(f.notes.size(), 2u);
    EXPECT_EQ(f.notes[0].line, 2u);
    EXPECT_EQ(f.notes[0].why, Untouched::TooLong);
    EXPECT_EQ(f.notes[1].why, Untouched::DroppedByte);
    const Formatted binary = formatSource(std::string_view("NOP\n* \0\n", 8));
    EXPECT_FALSE(binary.isText);
    EXPECT_EQ(binary.zeroLine, 2u);
}

}  // namespace
}  // namespace qvek::format
