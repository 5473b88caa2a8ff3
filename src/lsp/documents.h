// The documents the editor has open: their unsaved text and version, changed
// as the editor reports each edit, one document to a file however many URI
// spellings name it. Files not open are read from disk by the analysis. Owns
// DocumentStore.
#pragma once

#include <cstdint>
#include <map>
#include <string>

#include "lsp/text.h"

namespace qvek::lsp {

struct Document {
    std::string uri;      // as the editor last opened it
    std::string path;     // the file it names, absolute and normalised
    int64_t version = 0;  // the editor's count of its edits
    SharedText text;      // the unsaved text
};

// One edit of a change notification: a range replaced, or the whole text when wholeText is set.
struct Edit {
    bool wholeText = false;
    Range range;
    std::string text;
};

class DocumentStore {
  public:
    /// Opens (or reopens) a document with its full text, under one more spelling of its URI.
    void open(const std::string& uri, const std::string& path, int64_t version, std::string text);
    /// Applies edits in order; false when the document is not open.
    bool change(const std::string& uri, int64_t version, const std::vector<Edit>& edits);
    /// Forgets one spelling of a document, and the document with its last; false when that spelling was not open.
    bool close(const std::string& uri);
    /// The open document of a URI, or null.
    const Document* byUri(const std::string& uri) const;
    /// The open document of a file path, or null.
    const Document* byPath(const std::string& path) const;

  private:
    std::map<std::string, Document> documents_;     // by path
    std::map<std::string, std::string> pathOfUri_;  // each spelling open, to its path
};

}  // namespace qvek::lsp
