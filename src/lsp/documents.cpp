#include "lsp/documents.h"

namespace qvek::lsp {

void DocumentStore::open(const std::string& uri, const std::string& path, int64_t version, std::string text) {
    close(uri);
    documents_[uri] = Document{uri, path, version, std::make_shared<const Text>(std::move(text))};
    uriOfPath_[path] = uri;
}

bool DocumentStore::change(const std::string& uri, int64_t version, const std::vector<Edit>& edits) {
    const auto found = documents_.find(uri);
    if (found == documents_.end()) return false;
    Document& d = found->second;
    std::string bytes = d.text->bytes();
    for (const Edit& e : edits) {
        if (e.wholeText) {
            bytes = e.text;
            continue;
        }
        // Each range counts in the text as the edits before it left it.
        const Text current(bytes);
        size_t from = current.offsetOf(e.range.start);
        size_t to = current.offsetOf(e.range.end);
        if (to < from) std::swap(from, to);
        bytes.replace(from, to - from, e.text);
    }
    d.version = version;
    d.text = std::make_shared<const Text>(std::move(bytes));
    return true;
}

bool DocumentStore::close(const std::string& uri) {
    const auto found = documents_.find(uri);
    if (found == documents_.end()) return false;
    uriOfPath_.erase(found->second.path);
    documents_.erase(found);
    return true;
}

const Document* DocumentStore::byUri(const std::string& uri) const {
    const auto found = documents_.find(uri);
    return found == documents_.end() ? nullptr : &found->second;
}

const Document* DocumentStore::byPath(const std::string& path) const {
    const auto found = uriOfPath_.find(path);
    return found == uriOfPath_.end() ? nullptr : byUri(found->second);
}

}  // namespace qvek::lsp
