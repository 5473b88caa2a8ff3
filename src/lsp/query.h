// Questions every feature asks of a Model: which token lies at a position,
// where a token lies in its file, what a token names, and the names of a
// table. Writes nothing.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "lsp/model.h"
#include "lsp/protocol.h"

namespace qvek::lsp {

// A token of a statement, found at a position.
struct TokenAt {
    const Statement* statement = nullptr;  // null: no token there
    uint32_t token = 0;
};

// What a token names: a symbol defined there or used there.
struct Named {
    int symbol = -1;           // the symbol, or -1 (also for a name that is not defined)
    const Use* use = nullptr;  // set when the token uses the name
    Table table = Table::Constant;
    std::string name;  // empty when the token is no name
};

/// The statement token at a position of a file, if any.
TokenAt tokenAt(const Model& model, uint32_t file, Position position);
/// The range of a token in the text the model read, if the line holds it.
std::optional<Range> rangeOf(const Model& model, const TokenPlace& place);
/// The range from a line's first token to its last, or the whole line when it has none.
Range lineRange(const Model& model, uint32_t file, uint32_t line);
/// Where a message about a line (and a token of it, unless token < 0) is shown: from the editor line where the line begins.
Range messageRange(const Model& model, uint32_t file, uint32_t line, int token);
/// A protocol Location of a token (the whole line when the token cannot be found).
json locationOf(const Model& model, const TokenPlace& place);
/// What the token at a place names.
Named namedAt(const Model& model, const TokenPlace& place);
/// Symbols and uses of one name in one table: every token a rename must change.
std::vector<TokenPlace> placesOfName(const Model& model, Table table, const std::string& name);
/// A protocol Range.
json toJson(const Range& range);
/// A value as the protocol's hover and completion show it: hexadecimal and decimal.
std::string hexAndDecimal(uint32_t value);

}  // namespace qvek::lsp
