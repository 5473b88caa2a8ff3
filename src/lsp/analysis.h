// One check of a main source (the library's own passes, and the diagnostics
// made of them), on one snapshot of every file it reads (the editor's unsaved
// text where a file is open, the disk otherwise), turned into a Model by the
// passes' observer. Owns Analyzer; writes only the Model it returns.
#pragma once

#include <cstdint>
#include <cstdio>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "core/asm_state.h"
#include "lsp/documents.h"
#include "lsp/model.h"
#include "lsp/workspace.h"

namespace qvek::lsp {

// The largest file read from disk: far beyond any source the assembler accepts.
constexpr size_t kMaxDiskFileSize = 64u << 20;

// A file read from disk, with what tells whether it changed since.
struct DiskText {
    int64_t stamp = 0;  // modification time, nanoseconds
    int64_t size = 0;
    SharedText text;
};

class Analyzer {
  public:
    Analyzer();
    ~Analyzer();
    Analyzer(const Analyzer&) = delete;
    Analyzer& operator=(const Analyzer&) = delete;
    /// Assembles a main source (an absolute path) as qvek would, in the workspace's root, and checks it.
    std::shared_ptr<const Model> assemble(const std::string& mainPath, const Workspace& workspace,
                                          const DocumentStore& documents);
    /// Sets the check's warnings switched on or off by name.
    void setWarnings(std::vector<diag::WarningSwitch> switches) { switches_ = std::move(switches); }

  private:
    std::map<std::string, DiskText> disk_;       // by path
    std::vector<diag::WarningSwitch> switches_;  // the client's, from its initialization options
    struct Sizes {
        size_t statements = 0, symbols = 0, uses = 0;
    };
    std::map<std::string, Sizes> sizes_;  // of the last model of each main source, by path
};

}  // namespace qvek::lsp
