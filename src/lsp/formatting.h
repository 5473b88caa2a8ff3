// textDocument/formatting and textDocument/rangeFormatting: the edits that
// give an open document the text qvekfmt gives its file, one per changed line.
// Writes nothing.
#pragma once

#include <cstdint>

#include "lsp/protocol.h"
#include "lsp/text.h"

namespace qvek::lsp {

/// TextEdit[] that format the lines firstLine to lastLine (from 0) of a text, laid out as the whole text is;
/// throws RequestError for a text that is no source.
json formattingEdits(const Text& text, uint32_t firstLine, uint32_t lastLine);

}  // namespace qvek::lsp
