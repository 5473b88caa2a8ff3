#include "lsp/workspace.h"

#include <algorithm>
#include <filesystem>
#include <string_view>
#include <system_error>

namespace qvek::lsp {

namespace fs = std::filesystem;

namespace {

int hexValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

bool unreserved(unsigned char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-' || c == '.' ||
           c == '_' || c == '~' || c == '/';
}

std::string normal(const fs::path& p) {
    std::string s = p.lexically_normal().string();
    if (s.size() > 1 && s.back() == '/') s.pop_back();
    return s;
}

// Tells whether an absolute path is normal already: no empty, "." or ".." step, no slash at the end.
// Most URIs an editor sends name one so, and taking a path apart costs more than the request.
bool isNormal(const std::string& path) {
    if (path == "/") return true;
    for (size_t at = 1;;) {
        const size_t end = std::min(path.find('/', at), path.size());
        const std::string_view step(path.data() + at, end - at);
        if (step.empty() || step == "." || step == "..") return false;
        if (end == path.size()) return true;
        at = end + 1;
    }
}

}  // namespace

std::string pathOfUri(const std::string& uri) {
    constexpr char kScheme[] = "file://";
    if (uri.compare(0, sizeof kScheme - 1, kScheme) != 0) return {};
    std::string path;
    path.reserve(uri.size());
    for (size_t i = sizeof kScheme - 1; i < uri.size(); i++) {
        if (uri[i] == '?' || uri[i] == '#') break;
        if (uri[i] == '%' && i + 2 < uri.size() && hexValue(uri[i + 1]) >= 0 && hexValue(uri[i + 2]) >= 0) {
            path += static_cast<char>(hexValue(uri[i + 1]) * 16 + hexValue(uri[i + 2]));
            i += 2;
        } else {
            path += uri[i];
        }
    }
    // An authority (file://host/path) is not this machine's file; a path must be absolute.
    if (path.empty() || path[0] != '/' || path.find('\0') != std::string::npos) return {};
    return isNormal(path) ? path : normal(path);
}

std::string uriOfPath(const std::string& path) {
    std::string uri = "file://";
    for (unsigned char c : path) {
        if (unreserved(c)) {
            uri += static_cast<char>(c);
        } else {
            static const char kDigits[] = "0123456789ABCDEF";
            uri += '%';
            uri += kDigits[c >> 4];
            uri += kDigits[c & 0xF];
        }
    }
    return uri;
}

bool isMainSource(const std::string& path) {
    if (path.size() < 4) return false;
    std::string end = path.substr(path.size() - 4);
    std::transform(end.begin(), end.end(), end.begin(), [](unsigned char c) { return std::tolower(c); });
    return end == ".qvs";
}

void Workspace::setRoot(const std::string& folder) {
    std::error_code ec;
    root_ = normal(fs::absolute(folder.empty() ? fs::path(".") : fs::path(folder), ec));
}

std::string Workspace::resolve(const std::string& name) const {
    const fs::path p(name);
    return normal(p.is_absolute() ? p : fs::path(root_) / p);
}

std::string Workspace::nameOf(const std::string& path) const {
    const std::string prefix = root_ == "/" ? root_ : root_ + "/";
    if (path.compare(0, prefix.size(), prefix) == 0 && path.size() > prefix.size()) return path.substr(prefix.size());
    return path;
}

std::vector<std::string> Workspace::diskMainSources() const {
    std::vector<std::string> found;
    std::error_code ec;
    for (fs::directory_iterator it(root_, ec), end; !ec && it != end && found.size() < kMaxDiskMainSources;
         it.increment(ec)) {
        if (it->is_regular_file(ec) && isMainSource(it->path().filename().string()))
            found.push_back(normal(it->path()));
    }
    std::sort(found.begin(), found.end());
    return found;
}

bool Workspace::isDiskMainSource(const std::string& path) const {
    // One file's status, not a listing of the folder: a folder may hold thousands of files.
    const std::string prefix = root_ == "/" ? root_ : root_ + "/";
    if (path.compare(0, prefix.size(), prefix) != 0 || path.find('/', prefix.size()) != std::string::npos ||
        !isMainSource(path))
        return false;
    std::error_code ec;
    return fs::is_regular_file(path, ec);
}

}  // namespace qvek::lsp
