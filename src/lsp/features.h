// The protocol's language features over the models of the main sources that
// read a file: each takes the models (the first is asked first) and the file,
// and returns the result the protocol defines. Implemented by navigation.cpp,
// hover.cpp, completion.cpp, outline.cpp, highlight.cpp and diagnostics.cpp;
// writes nothing.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "lsp/model.h"
#include "lsp/protocol.h"

namespace qvek::lsp {

using Models = std::vector<std::shared_ptr<const Model>>;

/// textDocument/definition: a Location, or null.
json definition(const Models& models, const std::string& path, Position position);
/// textDocument/references: Location[].
json references(const Models& models, const std::string& path, Position position, bool withDeclaration);
/// textDocument/prepareRename: the range of the name, or null.
json prepareRename(const Models& models, const std::string& path, Position position);
/// textDocument/rename: a WorkspaceEdit; throws RequestError for a name qvek would not read or that collides.
json rename(const Models& models, const std::string& path, Position position, const std::string& newName);
/// textDocument/hover: a Hover, or null.
json hover(const Models& models, const std::string& path, Position position);
/// textDocument/completion: CompletionItem[] for the text of an open document.
json completion(const Models& models, const Text& text, Position position);
/// textDocument/documentSymbol: DocumentSymbol[].
json documentSymbols(const Models& models, const std::string& path);
/// workspace/symbol: SymbolInformation[] whose names hold the query.
json workspaceSymbols(const Models& models, const std::string& query);
/// The legend of the semantic tokens, for the server's capabilities.
json semanticTokensLegend();
/// textDocument/semanticTokens/full: SemanticTokens.
json semanticTokens(const Models& models, const std::string& path);
/// textDocument/inlayHint: InlayHint[] within a range of lines.
json inlayHints(const Models& models, const std::string& path, uint32_t firstLine, uint32_t lastLine);
/// The Diagnostic[] of a file, from every model that read it.
json diagnostics(const Models& models, const std::string& path);
/// What the Diagnostic[] of a file is made from: equal keys, equal diagnostics.
std::string diagnosticsKey(const Models& models, const std::string& path);
/// textDocument/codeAction: a quick fix (CodeAction) for each diagnostic with fix-its whose range meets the range.
json codeActions(const Models& models, const std::string& path, const Range& range);
/// The editor's range of a place the check names, in the text of its file.
Range editorRange(const Text& text, const diag::Range& place);

}  // namespace qvek::lsp
