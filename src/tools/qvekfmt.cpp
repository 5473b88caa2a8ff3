// qvekfmt: formats assembly sources in the one layout of qvek's formatter,
// to standard output, in place, as a check or as a diff. The layout and the
// proof that it changes nothing the assembler reads live in src/format/.
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <new>
#include <string>
#include <string_view>
#include <vector>

#include "format/formatter.h"
#include "tools/qvekfmt_diff.h"
#include "tools/qvekfmt_files.h"

namespace {

constexpr int kExitChanges = 1;  // --check, --diff: a file would change, or holds a line left as it stood
constexpr int kExitTrouble = 2;  // usage, or a file that could not be read or written

const char kUsage[] =
    "Usage: qvekfmt [-i | --check | --diff] [FILE...]\n"
    "Formats qvek assembly sources: labels in the first column, statement words,\n"
    "operands and comments each in a column of their own, names upper case.\n"
    "Formatting never changes the load file the assembler writes.\n"
    "\n"
    "  (no option)  write the formatted text to standard output\n"
    "  -i           rewrite each FILE in place\n"
    "  --check      list the files that would change; exit status 1 if any would\n"
    "  --diff       print a unified diff of the changes; exit status 1 if any\n"
    "  --help       print this text\n"
    "  --version    print the version\n"
    "\n"
    "With no FILE, or FILE -, standard input is read.\n"
    "Exit status: 0 done, 1 changes found by --check or --diff, 2 usage or a file\n"
    "that could not be read or written.\n";

struct Options {
    bool inPlace = false;
    bool check = false;
    bool diff = false;
    std::vector<std::string> files;
};

// Reads the words; returns -1 to go on, else the exit status.
int parse(int argc, char** argv, Options& o) {
    bool optionsEnd = false;
    for (int i = 1; i < argc; i++) {
        const std::string word = argv[i];
        if (optionsEnd || word == "-" || word.empty() || word[0] != '-') {
            o.files.push_back(word);
        } else if (word == "--") {
            optionsEnd = true;
        } else if (word == "-i") {
            o.inPlace = true;
        } else if (word == "--check") {
            o.check = true;
        } else if (word == "--diff") {
            o.diff = true;
        } else if (word == "--help" || word == "-h") {
            std::fputs(kUsage, stdout);
            return 0;
        } else if (word == "--version") {
            std::printf("qvekfmt %s\n", QVEK_VERSION);
            return 0;
        } else {
            std::fprintf(stderr, "qvekfmt: unknown option %s\n%s", word.c_str(), kUsage);
            return kExitTrouble;
        }
    }
    if (o.files.empty()) o.files.push_back("-");
    if (o.inPlace && (o.check || o.diff)) {
        std::fprintf(stderr, "qvekfmt: -i writes the files; --check and --diff only look at them\n");
        return kExitTrouble;
    }
    for (const std::string& f : o.files)
        if (o.inPlace && f == "-") {
            std::fprintf(stderr, "qvekfmt: -i needs files to rewrite, not standard input\n");
            return kExitTrouble;
        }
    return -1;
}

bool writeOut(std::string_view text) { return std::fwrite(text.data(), 1, text.size(), stdout) == text.size(); }

// Standard output as a formatting's sink: a large file goes out as it is laid out, never held whole.
class ToStandardOutput : public qvek::format::Sink {
  public:
    void put(std::string_view piece) override { writeOut(piece); }
};

// Compares a formatting with its source as it is laid out, for --check.
class Comparison : public qvek::format::Sink {
  public:
    explicit Comparison(std::string_view source) : rest_(source) {}
    void put(std::string_view piece) override {
        differs_ = differs_ || rest_.substr(0, piece.size()) != piece;
        if (!differs_) rest_.remove_prefix(piece.size());
    }
    bool changes() const { return differs_ || !rest_.empty(); }

  private:
    std::string_view rest_;
    bool differs_ = false;
};

// Formats one file as the options ask; returns its exit status.
int formatFile(const Options& o, const std::string& name) {
    const std::string shown = name == "-" ? "<standard input>" : name;
    qvek::fmt::Source source;
    std::string why;
    if (!qvek::fmt::readSource(name, o.inPlace, source, &why)) {
        std::fprintf(stderr, "qvekfmt: %s: %s\n", shown.c_str(), why.c_str());
        return kExitTrouble;
    }
    // Only a diff and a rewrite need the whole formatted text at once.
    const bool whole = o.diff || o.inPlace;
    Comparison comparison(source.text);
    ToStandardOutput toStandardOutput;
    qvek::format::Sink& sink = o.check ? static_cast<qvek::format::Sink&>(comparison) : toStandardOutput;
    const qvek::format::Formatted f =
        whole ? qvek::format::formatSource(source.text) : qvek::format::formatSource(source.text, sink);
    if (!f.isText) {
        std::fprintf(stderr, "qvekfmt: %s: holds a zero byte on line %u: not a source text; left as it is\n",
                     shown.c_str(), f.zeroLine);
        // A filter never loses what it was given: an editor puts back whatever comes out.
        if (name == "-" && !o.check && !o.diff) writeOut(source.text);
        return kExitTrouble;
    }
    for (const qvek::format::Note& n : f.notes)
        std::fprintf(stderr, "qvekfmt: %s:%u: left as it is: the line %s\n", shown.c_str(), n.line,
                     qvek::format::describe(n.why));
    const bool changes = whole ? f.text != source.text : comparison.changes();
    int status = 0;
    if (o.check || o.diff) {
        if (o.check && changes) std::printf("%s\n", shown.c_str());
        if (o.diff && changes) writeOut(qvek::fmt::unifiedDiff(shown, source.text, f.text));
        if (changes || !f.notes.empty()) status = kExitChanges;
    } else if (o.inPlace) {
        if (changes && !qvek::fmt::rewriteSource(name, source, f.text, &why)) {
            std::fprintf(stderr, "qvekfmt: %s: %s; left as it was\n", shown.c_str(), why.c_str());
            status = kExitTrouble;
        }
    }
    return status;
}

}  // namespace

int main(int argc, char** argv) {
    Options o;
    if (const int status = parse(argc, argv, o); status >= 0) return status;
    int status = 0;
    for (const std::string& name : o.files) {
        int fileStatus;
        try {
            fileStatus = formatFile(o, name);
        } catch (const std::bad_alloc&) {
            std::fprintf(stderr, "qvekfmt: %s: out of memory; left as it was\n", name.c_str());
            fileStatus = kExitTrouble;
        }
        status = std::max(status, fileStatus);
    }
    if (std::fflush(stdout) != 0 || std::ferror(stdout)) {
        std::fprintf(stderr, "qvekfmt: cannot write to standard output: %s\n", std::strerror(errno));
        return kExitTrouble;
    }
    return status;
}
