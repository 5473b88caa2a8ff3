// What one assembly of a main source told the server, kept until the next:
// the files it read (with the very text it read), its statements, the names
// it defined and used, and the check's diagnostics. Written by the analysis
// only; every feature reads it.
#pragma once

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include "core/keywords.h"
#include "diag/diagnostic.h"
#include "lsp/text.h"

namespace qvek::lsp {

// The three name tables of the assembler.
enum class Table : uint8_t { Pattern, Constant, Label };  // in OperandKind's order

// A token of a source line: file, line (from 0) and token number in the line
// (from 0; a label line's label is token 0).
struct TokenPlace {
    uint32_t file = 0;
    uint32_t line = 0;
    uint32_t token = 0;
};

// The tokens of a statement line as the passes split it, kept in one string:
// a model holds thousands of lines, and is made afresh at every change.
class Tokens {
  public:
    static constexpr size_t kMaxTokens = kMaxOperands + 2;  // a label, the statement word and the operands

    /// Takes a line's tokens (the first kMaxTokens of them) in one allocation.
    void assign(const char* const* tokens, size_t count) {
        size_t lengths[kMaxTokens];
        size_t total = 0;
        count_ = static_cast<uint8_t>(std::min(count, kMaxTokens));
        for (size_t i = 0; i < count_; i++) total += (lengths[i] = std::strlen(tokens[i])) + 1;
        text_.assign(total > 0 ? total - 1 : 0, ' ');
        for (size_t i = 0, at = 0; i < count_; at += lengths[i++] + 1) {
            start_[i] = static_cast<uint16_t>(at);
            std::memcpy(text_.data() + at, tokens[i], lengths[i]);
        }
    }
    size_t size() const { return count_; }
    std::string_view view(size_t i) const {
        const size_t end = i + 1 < count_ ? start_[i + 1] - 1u : text_.size();
        return std::string_view(text_).substr(start_[i], end - start_[i]);
    }
    std::string operator[](size_t i) const { return std::string(view(i)); }
    /// The length of the line the tokens make, one blank between each two.
    size_t lineLength() const { return text_.size(); }

  private:
    std::string text_;
    uint16_t start_[kMaxTokens] = {};
    uint8_t count_ = 0;
};

// One entry of a name table.
struct Symbol {
    Table table = Table::Constant;
    std::string name;       // as the assembler stores it: upper case, with its '#'
    uint32_t value = 0;     // the constant, the label's nibble address, or the pattern slot
    uint32_t word = 0;      // pattern labels: the word's value
    int statement = -1;     // the statement that defined it, in Model::statements
    TokenPlace place;       // where it was defined
    bool defined = false;   // place is known
    bool shadowed = false;  // an earlier entry has the same name: lookups never find this one
};

// A name an operand used, and the entry it resolved to.
struct Use {
    Table table = Table::Constant;
    std::string name;
    int symbol = -1;  // index into Model::symbols, -1 when the name was not found
    TokenPlace place;
};

// One statement line as the passes read it.
struct Statement {
    uint32_t file = 0;
    uint32_t line = 0;
    StatementCode code = StatementCode::NotAStatement;
    uint32_t wordToken = 0;   // token number of the statement word: 1 on a label line
    Tokens tokens;            // label, statement word and operands as read
    bool placed = false;      // occupies program memory
    uint32_t address = 0;     // nibble address where it starts
    uint32_t size = 0;        // nibbles it occupies
    uint8_t nibbles[5] = {};  // what it assembled to, after pass 2
    int include = -1;         // INC: the index of the file it read
};

struct SourceFile {
    std::string path;  // normalised absolute path
    SharedText text;   // the text the passes read (empty when it could not be read)
};

// A diagnostic of the report at the place the editor shows it.
struct ShownDiagnostic {
    uint32_t diagnostic = 0;  // index into Model::report.diagnostics
    diag::Range place;        // its range, or the INC line that named a file without text
};

struct Model {
    std::string mainPath;           // the main source
    std::vector<SourceFile> files;  // [0] = main source, then every file read
    std::vector<Symbol> symbols;
    std::vector<Use> uses;
    std::vector<Statement> statements;  // in reading order of pass 1
    diag::Report report;                // the check of this assembly: its diagnostics
    std::vector<int> reportFiles;       // the index in files of each of report.files, -1 when none
    std::vector<std::vector<ShownDiagnostic>> shown;  // by index in files: the diagnostics shown there, in report order
    std::vector<std::string> reads;     // every file the passes asked for, found or not
    bool assembled = false;             // qvek assembles it without an error

    /// The index in files of a place of the report, or -1.
    int fileOf(const diag::Range& place) const {
        return place.file < reportFiles.size() ? reportFiles[place.file] : -1;
    }
    /// The index of a file, or -1 when this assembly did not read it.
    int fileIndex(const std::string& path) const {
        for (size_t i = 0; i < files.size(); i++)
            if (files[i].path == path) return static_cast<int>(i);
        return -1;
    }
};

}  // namespace qvek::lsp
