#include "lsp/documents.h"

namespace qvek::lsp {

void DocumentStore::open(const std::string& uri, const std::string& path, int64_t version, std::string text) {
    documents_[path] = Document{uri, path, version, std::make_shared<const Text>(std::move(text))};
    pathOfUri_[uri] = path;
}

bool DocumentStore::change(const std::string& uri, int64_t version, const std::vector<Edit>& edits) {
    const auto spelling = pathOfUri_.find(uri);
    if (spelling == pathOfUri_.end()) return false;
    Document& d = documents_.at(spelling->second);
    std::string bytes = d.text->bytes();
    for (const Edit& e : edits) {
        if (e.wholeText) {
            bytes = e.text;
            continue;
        }
        // Each range counts in the text as the edits before it left it: found by a walk, as a
        // Text of each step would copy the whole document once per edit.
        size_t from = offsetIn(bytes, e.range.start);
        size_t to = offsetIn(bytes, e.range.end);
        if (to < from) std::swap(from, to);
        bytes.replace(from, to - from, e.text);
    }
    d.version = version;
    d.text = std::make_shared<const Text>(std::move(bytes));
    return true;
}

bool DocumentStore::close(const std::string& uri) {
    const auto spelling = pathOfUri_.find(uri);
    if (spelling == pathOfUri_.end()) return false;
    const std::string path = spelling->second;
    pathOfUri_.erase(spelling);
    for (const auto& [other, otherPath] : pathOfUri_)
        if (otherPath == path) return true;
    documents_.erase(path);
    return true;
}

const Document* DocumentStore::byUri(const std::string& uri) const {
    const auto spelling = pathOfUri_.find(uri);
    return spelling == pathOfUri_.end() ? nullptr : byPath(spelling->second);
}

const Document* DocumentStore::byPath(const std::string& path) const {
    const auto found = documents_.find(path);
    return found == documents_.end() ? nullptr : &found->second;
}

}  // namespace qvek::lsp
