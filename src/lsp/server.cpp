#include "lsp/server.h"

#include <algorithm>
#include <set>

#include "diag/engine.h"
#include "lsp/formatting.h"

namespace qvek::lsp {

namespace {

Position placeOf(const json& p) { return {uintegerOf(p.at("line")), uintegerOf(p.at("character"))}; }

Position positionOf(const json& params) { return placeOf(params.at("position")); }

// TextDocumentSyncKind.Incremental: the editor sends the edited ranges.
constexpr int kIncrementalSync = 2;

Range rangeFrom(const json& r) { return {placeOf(r.at("start")), placeOf(r.at("end"))}; }

// The check's warnings as the client's initialization options switch them:
// {"warnings": {"all": false, "unused-label": true}}: "all" first, then each
// name; a name the check does not know is passed over.
std::vector<diag::WarningSwitch> warningSwitches(const json& params) {
    std::vector<diag::WarningSwitch> switches;
    const json options = params.value("initializationOptions", json::object());
    if (!options.is_object() || !options.contains("warnings") || !options["warnings"].is_object()) return switches;
    const json& asked = options["warnings"];
    for (const bool everyOne : {true, false})
        for (const auto& [name, on] : asked.items()) {
            if (!on.is_boolean() || (name == "all") != everyOne) continue;
            for (const diag::CodeInfo& info : diag::codeTable())
                if (info.name[0] != '\0' && (everyOne || name == info.name))
                    switches.push_back({info.name, on.get<bool>()});
        }
    return switches;
}

}  // namespace

Server::Server(Sink sink, std::string root)
    : sink_(std::move(sink)), dispatcher_(sink_), rootOverride_(std::move(root)) {
    workspace_.setRoot(rootOverride_);
    dispatcher_.gate = [this](const std::string& method, const json& id, bool isRequest) {
        return admit(method, id, isRequest);
    };
    registerHandlers();
}

void Server::receive(const char* bytes, size_t size) {
    frames_.feed(bytes, size);
    std::string body;
    for (;;) {
        const Frame frame = frames_.next(body);
        if (frame == Frame::None || exited_) return;
        if (frame == Frame::BadHeader) {
            dispatcher_.badHeader();
            continue;
        }
        // A body that is no JSON may have swallowed the next message: frame it again from its header.
        if (!dispatcher_.dispatch(body)) frames_.reframe(body, findHeader(body, 1));
    }
}

bool Server::admit(const std::string& method, const json& id, bool isRequest) {
    if (method == "exit") return true;
    if (!initialized_) {
        if (method == "initialize") return true;
        if (isRequest) sink_(errorBody(id, ServerNotInitialized, "the server is not initialized"));
        return false;
    }
    if (method == "initialize") {
        if (isRequest) sink_(errorBody(id, InvalidRequest, "the server is initialized already"));
        return false;
    }
    if (shutdown_) {
        if (isRequest) sink_(errorBody(id, InvalidRequest, "the server is shut down"));
        return false;
    }
    return true;
}

json Server::initialize(const json& params) {
    if (rootOverride_.empty()) {
        std::string root;
        const json folders = params.value("workspaceFolders", json());
        if (folders.is_array() && !folders.empty() && folders[0].is_object())
            root = pathOfUri(folders[0].value("uri", ""));
        if (root.empty() && params.contains("rootUri") && params["rootUri"].is_string())
            root = pathOfUri(params["rootUri"].get<std::string>());
        if (root.empty() && params.contains("rootPath") && params["rootPath"].is_string())
            root = params["rootPath"].get<std::string>();
        workspace_.setRoot(root);
    }
    analyzer_.setWarnings(warningSwitches(params));
    initialized_ = true;
    return {
        {"capabilities",
         {{"positionEncoding", "utf-16"},
          {"textDocumentSync", {{"openClose", true}, {"change", kIncrementalSync}, {"save", {{"includeText", false}}}}},
          {"definitionProvider", true},
          {"referencesProvider", true},
          {"renameProvider", {{"prepareProvider", true}}},
          {"hoverProvider", true},
          {"completionProvider", {{"triggerCharacters", {"#"}}}},
          {"documentSymbolProvider", true},
          {"workspaceSymbolProvider", true},
          {"semanticTokensProvider", {{"legend", semanticTokensLegend()}, {"full", true}}},
          {"inlayHintProvider", true},
          {"codeActionProvider", {{"codeActionKinds", {"quickfix"}}}},
          {"documentFormattingProvider", true},
          {"documentRangeFormattingProvider", true}}},
        {"serverInfo", {{"name", "qvek-lsp"}, {"version", "5.0"}}}};
}

void Server::findMainSources() {
    const Clock::time_point now = Clock::now();
    for (const std::string& path : workspace_.diskMainSources()) {
        MainSource& main = mains_[path];
        if (main.model == nullptr) main.due = now;
    }
}

void Server::registerHandlers() {
    dispatcher_.onRequest("initialize", [this](const json& params) { return initialize(params); });
    dispatcher_.onNotification("initialized", [this](const json&) { findMainSources(); });
    dispatcher_.onRequest("shutdown", [this](const json&) {
        shutdown_ = true;
        return json(nullptr);
    });
    dispatcher_.onNotification("exit", [this](const json&) { exited_ = true; });

    dispatcher_.onNotification("textDocument/didOpen", [this](const json& params) {
        const json& doc = params.at("textDocument");
        const std::string uri = doc.at("uri").get<std::string>();
        const std::string path = pathOfUri(uri);
        if (path.empty()) return;
        documents_.open(uri, path, doc.value("version", 0), doc.at("text").get<std::string>());
        if (isMainSource(path)) mains_[path];
        changed(path, true);
    });
    dispatcher_.onNotification("textDocument/didChange", [this](const json& params) {
        const json& doc = params.at("textDocument");
        const std::string uri = doc.at("uri").get<std::string>();
        std::vector<Edit> edits;
        for (const json& change : params.at("contentChanges")) {
            Edit e;
            e.text = change.at("text").get<std::string>();
            e.wholeText = !change.contains("range");
            if (!e.wholeText) e.range = rangeFrom(change["range"]);
            edits.push_back(std::move(e));
        }
        if (documents_.change(uri, doc.value("version", 0), edits)) changed(documents_.byUri(uri)->path, false);
    });
    dispatcher_.onNotification("textDocument/didSave", [this](const json& params) {
        changed(pathOfUri(params.at("textDocument").at("uri").get<std::string>()), true);
    });
    dispatcher_.onNotification("textDocument/didClose", [this](const json& params) {
        const std::string uri = params.at("textDocument").at("uri").get<std::string>();
        const std::string path = pathOfUri(uri);
        // Another spelling of the URI may still hold the file open.
        if (!documents_.close(uri) || documents_.byPath(path) != nullptr) return;
        const auto main = mains_.find(path);
        if (main != mains_.end() && !workspace_.isDiskMainSource(path)) {
            // A main source that was open only: its diagnostics go with it.
            std::vector<std::string> files;
            if (main->second.model != nullptr)
                for (const SourceFile& f : main->second.model->files) files.push_back(f.path);
            mains_.erase(main);
            publish(files);
        }
        changed(path, true);  // what reads it now reads the disk
    });
    dispatcher_.onNotification("workspace/didChangeWatchedFiles", [this](const json& params) {
        findMainSources();
        for (const json& change : params.at("changes")) changed(pathOfUri(change.at("uri").get<std::string>()), true);
    });

    dispatcher_.onRequest("textDocument/definition", [this](const json& params) {
        const std::string path = pathOf(params);
        return definition(modelsFor(path), path, positionOf(params));
    });
    dispatcher_.onRequest("textDocument/references", [this](const json& params) {
        const std::string path = pathOf(params);
        const bool declaration = params.value("context", json::object()).value("includeDeclaration", true);
        return references(modelsFor(path), path, positionOf(params), declaration);
    });
    dispatcher_.onRequest("textDocument/prepareRename", [this](const json& params) {
        const std::string path = pathOf(params);
        return prepareRename(modelsFor(path), path, positionOf(params));
    });
    dispatcher_.onRequest("textDocument/rename", [this](const json& params) {
        const std::string path = pathOf(params);
        return rename(modelsFor(path), path, positionOf(params), params.at("newName").get<std::string>());
    });
    dispatcher_.onRequest("textDocument/hover", [this](const json& params) {
        const std::string path = pathOf(params);
        return hover(modelsFor(path), path, positionOf(params));
    });
    dispatcher_.onRequest("textDocument/completion", [this](const json& params) {
        const std::string path = pathOf(params);
        const Models models = modelsFor(path);
        const Document* open = documents_.byPath(path);
        if (open != nullptr) return completion(models, *open->text, positionOf(params));
        for (const auto& m : models)
            if (const int file = m->fileIndex(path); file >= 0 && m->files[file].text != nullptr)
                return completion(models, *m->files[file].text, positionOf(params));
        return json::array();
    });
    dispatcher_.onRequest("textDocument/documentSymbol", [this](const json& params) {
        const std::string path = pathOf(params);
        return documentSymbols(modelsFor(path), path);
    });
    dispatcher_.onRequest("workspace/symbol", [this](const json& params) {
        flush();
        return workspaceSymbols(allModels(), params.value("query", ""));
    });
    dispatcher_.onRequest("textDocument/semanticTokens/full", [this](const json& params) {
        const std::string path = pathOf(params);
        return semanticTokens(modelsFor(path), path);
    });
    dispatcher_.onRequest("textDocument/codeAction", [this](const json& params) {
        const std::string path = pathOf(params);
        return codeActions(modelsFor(path), path, rangeFrom(params.at("range")));
    });
    dispatcher_.onRequest("textDocument/inlayHint", [this](const json& params) {
        const std::string path = pathOf(params);
        const json& range = params.at("range");
        return inlayHints(modelsFor(path), path, uintegerOf(range.at("start").at("line")),
                          uintegerOf(range.at("end").at("line")));
    });
    dispatcher_.onRequest("textDocument/formatting", [this](const json& params) {
        return format(params, 0, UINT32_MAX);
    });
    dispatcher_.onRequest("textDocument/rangeFormatting", [this](const json& params) {
        const Range r{positionOf({{"position", params.at("range").at("start")}}),
                      positionOf({{"position", params.at("range").at("end")}})};
        // A selection that ends where a line starts leaves that line out.
        return format(params, r.start.line, r.end.line - (r.end.character == 0 && r.end.line > r.start.line));
    });
}

json Server::format(const json& params, uint32_t firstLine, uint32_t lastLine) {
    const Document* open = documents_.byPath(pathOf(params));
    return open != nullptr ? formattingEdits(*open->text, firstLine, lastLine) : json(nullptr);
}

std::string Server::pathOf(const json& params) const {
    const std::string uri = params.at("textDocument").at("uri").get<std::string>();
    const std::string path = pathOfUri(uri);
    if (path.empty()) throw RequestError{InvalidParams, "not a file URI: " + uri};
    return path;
}

void Server::changed(const std::string& path, bool now) {
    if (path.empty()) return;
    const Clock::time_point t = Clock::now();
    for (auto& [mainPath, main] : mains_) {
        const bool reads =
            mainPath == path || (main.model != nullptr && std::find(main.model->reads.begin(), main.model->reads.end(),
                                                                    path) != main.model->reads.end());
        if (!reads) continue;
        // The first change after a quiet spell is assembled at once, a burst once it pauses.
        if (now || t - main.lastChange >= kDebounce)
            main.due = main.due ? std::min(*main.due, t) : t;
        else
            main.due = t + kDebounce;
        main.lastChange = t;
    }
}

std::optional<Clock::time_point> Server::nextDue() const {
    std::optional<Clock::time_point> next;
    for (const auto& [path, main] : mains_)
        if (main.due && (!next || *main.due < *next)) next = main.due;
    return next;
}

void Server::runDue(Clock::time_point now) {
    std::vector<std::string> due;
    for (const auto& [path, main] : mains_)
        if (main.due && *main.due <= now) due.push_back(path);
    for (const std::string& path : due) assemble(path);
}

void Server::assemble(const std::string& mainPath) {
    MainSource& main = mains_[mainPath];
    std::set<std::string> touched;
    if (main.model != nullptr)
        for (const SourceFile& f : main.model->files) touched.insert(f.path);
    // The model replaced is let go once the diagnostics are out: the editor need not wait for it.
    const std::shared_ptr<const Model> replaced = std::move(main.model);
    main.model = analyzer_.assemble(mainPath, workspace_, documents_);
    main.due.reset();
    for (const SourceFile& f : main.model->files) touched.insert(f.path);
    publish({touched.begin(), touched.end()});
}

void Server::publish(const std::vector<std::string>& paths) {
    for (const std::string& path : paths) {
        Models models;
        for (const auto& [mainPath, main] : mains_)
            if (main.model != nullptr && main.model->fileIndex(path) >= 0) models.push_back(main.model);
        // Most files keep their text and diagnostics through a change: their lists are not made again.
        std::string key = diagnosticsKey(models, path);
        const auto known = publishedKeys_.find(path);
        if (known != publishedKeys_.end() && known->second == key) continue;
        publishedKeys_[path] = std::move(key);
        json list = diagnostics(models, path);
        const auto last = published_.find(path);
        if (last == published_.end() ? list.empty() : last->second == list) continue;
        // Thousands of diagnostics: the list goes into the parameters and is kept from there, not copied.
        json params = {{"uri", uriOfPath(path)}};
        json& sent = params["diagnostics"] = std::move(list);
        dispatcher_.notify("textDocument/publishDiagnostics", params);
        if (sent.empty())
            published_.erase(path);
        else
            published_[path] = std::move(sent);
    }
}

Models Server::modelsFor(const std::string& path) {
    // A question about a file is answered from its text as it stands: pending changes are assembled first.
    Models models;
    for (auto& [mainPath, main] : mains_) {
        const bool reads = mainPath == path || (main.model != nullptr && main.model->fileIndex(path) >= 0);
        if (!reads) continue;
        if (main.due || main.model == nullptr) assemble(mainPath);
        if (main.model->fileIndex(path) < 0) continue;
        // The file's own main source answers first.
        if (mainPath == path)
            models.insert(models.begin(), main.model);
        else
            models.push_back(main.model);
    }
    return models;
}

Models Server::allModels() const {
    Models models;
    for (const auto& [path, main] : mains_)
        if (main.model != nullptr) models.push_back(main.model);
    return models;
}

}  // namespace qvek::lsp
