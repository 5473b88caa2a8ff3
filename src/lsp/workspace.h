// The workspace: the folder in which INC names are opened (the working
// directory qvek would run in), file URIs and paths, and which files are main
// sources. Owns Workspace; writes nothing else.
#pragma once

#include <string>
#include <vector>

namespace qvek::lsp {

// Main sources found on disk in the root folder, at most this many.
constexpr size_t kMaxDiskMainSources = 256;

/// The file path a file: URI names, normalised; empty for any other URI.
std::string pathOfUri(const std::string& uri);
/// The file: URI of an absolute path, each byte outside the unreserved set percent-encoded.
std::string uriOfPath(const std::string& path);
/// Tells whether a file is a main source: its name ends in .qvs, in any case.
bool isMainSource(const std::string& path);

class Workspace {
  public:
    /// Sets the folder INC names are opened in; a relative folder counts from the current one.
    void setRoot(const std::string& folder);
    const std::string& root() const { return root_; }
    /// The normalised absolute path of a file as the passes name it (relative to the root).
    std::string resolve(const std::string& name) const;
    /// The name the passes are given for a main source: relative to the root when inside it.
    std::string nameOf(const std::string& path) const;
    /// The main sources directly in the root folder on disk, sorted.
    std::vector<std::string> diskMainSources() const;
    /// Tells whether a normalised path is a main source directly in the root folder on disk.
    bool isDiskMainSource(const std::string& path) const;

  private:
    std::string root_;
};

}  // namespace qvek::lsp
