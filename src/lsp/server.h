// The language server: the protocol's lifecycle, the documents and workspace,
// which main sources to assemble when, and the requests answered from their
// models. Owns Server; all output goes through the Sink it is given.
#pragma once

#include <chrono>
#include <map>
#include <memory>
#include <optional>
#include <string>

#include "lsp/analysis.h"
#include "lsp/documents.h"
#include "lsp/features.h"
#include "lsp/protocol.h"
#include "lsp/transport.h"
#include "lsp/workspace.h"

namespace qvek::lsp {

using Clock = std::chrono::steady_clock;

// A change waits this long for the next before its main sources are assembled
// again, unless none was assembled for as long: then it is assembled at once.
constexpr std::chrono::milliseconds kDebounce{75};

class Server {
  public:
    /// A server writing to sink; a non-empty root overrides the client's workspace folder.
    Server(Sink sink, std::string root);
    /// Takes bytes of the input stream and handles every whole message in them.
    void receive(const char* bytes, size_t size);
    /// When the next assembly is due, if one is.
    std::optional<Clock::time_point> nextDue() const;
    /// Assembles every main source whose time has come.
    void runDue(Clock::time_point now);
    /// Assembles every main source with a change not yet assembled.
    void flush() { runDue(Clock::time_point::max()); }
    bool exited() const { return exited_; }
    /// The documents as the editor's notifications left them.
    const DocumentStore& documents() const { return documents_; }
    /// The exit status the protocol asks for: 0 after shutdown, else 1.
    int exitCode() const { return shutdown_ ? 0 : 1; }

  private:
    struct MainSource {
        std::shared_ptr<const Model> model;
        Clock::time_point lastChange{};  // of a file it reads
        std::optional<Clock::time_point> due;
    };

    void registerHandlers();
    bool admit(const std::string& method, const json& id, bool isRequest);
    json initialize(const json& params);
    void findMainSources();
    void changed(const std::string& path, bool now);
    void assemble(const std::string& mainPath);
    void publish(const std::vector<std::string>& paths);
    std::string pathOf(const json& params) const;
    json format(const json& params, uint32_t firstLine, uint32_t lastLine);
    Models modelsFor(const std::string& path);
    Models allModels() const;

    Sink sink_;
    Dispatcher dispatcher_;
    FrameReader frames_;
    std::string rootOverride_;
    Workspace workspace_;
    DocumentStore documents_;
    Analyzer analyzer_;
    std::map<std::string, MainSource> mains_;           // by path
    std::map<std::string, json> published_;             // diagnostics last sent, by path
    std::map<std::string, std::string> publishedKeys_;  // what those were made from (diagnosticsKey), by path
    bool initialized_ = false;
    bool shutdown_ = false;
    bool exited_ = false;
};

}  // namespace qvek::lsp
