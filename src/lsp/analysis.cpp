#include "lsp/analysis.h"

#include <sys/stat.h>

#include <algorithm>
#include <fstream>
#include <map>
#include <memory>
#include <sstream>
#include <string_view>

#include "core/observer.h"
#include "diag/engine.h"
#include "inspect/source_names.h"
#include "source/files.h"
#include "lsp/lines.h"

namespace qvek::lsp {

namespace {

// Every file one assembly reads, read once: both passes get the same bytes,
// however the editor or the disk change meanwhile.
struct Snapshot {
    const Workspace& workspace;
    const DocumentStore& documents;
    std::map<std::string, DiskText>& disk;    // files read before, kept while unchanged
    std::map<std::string, SharedText> texts;  // by path; null = cannot be read

    SharedText textOf(const std::string& path) {
        const auto known = texts.find(path);
        if (known != texts.end()) return known->second;
        SharedText text;
        if (const Document* open = documents.byPath(path))
            text = open->text;
        else
            text = readDisk(path);
        texts[path] = text;
        return text;
    }

    // Regular files only: a pipe or a device would block or never end, and a
    // folder or the null device is left to the stream openRaw gives. A file
    // whose size and time stamp did not change is not read again.
    SharedText readDisk(const std::string& path) {
        struct stat info;
        if (stat(path.c_str(), &info) != 0 || !S_ISREG(info.st_mode) ||
            static_cast<uint64_t>(info.st_size) > kMaxDiskFileSize) {
            disk.erase(path);
            return nullptr;
        }
        const int64_t stamp = static_cast<int64_t>(info.st_mtim.tv_sec) * 1000000000 + info.st_mtim.tv_nsec;
        DiskText& known = disk[path];
        if (known.text != nullptr && known.stamp == stamp && known.size == info.st_size) return known.text;
        std::ifstream in(path, std::ios::binary);
        if (!in) return nullptr;
        std::ostringstream bytes;
        bytes << in.rdbuf();
        known = {stamp, info.st_size, std::make_shared<const Text>(bytes.str())};
        return known.text;
    }
};

// An unsaved document is never refused; on disk, what the passes would refuse from there.
const char* refusedBySnapshot(void* context, const char* name) {
    auto& snapshot = *static_cast<Snapshot*>(context);
    const std::string path = snapshot.workspace.resolve(name);
    return snapshot.documents.byPath(path) != nullptr ? nullptr : kindReadOnce(path.c_str());
}

FILE* openFromSnapshot(void* context, const char* name) {
    auto& snapshot = *static_cast<Snapshot*>(context);
    const std::string path = snapshot.workspace.resolve(name);
    const SharedText text = snapshot.textOf(path);
    // A folder fails when read and the null device reads empty, on both passes and as from disk: the
    // passes say so in their own words.
    struct stat info;
    if (text == nullptr && stat(path.c_str(), &info) == 0 && !S_ISREG(info.st_mode) &&
        kindReadOnce(path.c_str()) == nullptr)
        return std::fopen(path.c_str(), "r");
    if (text == nullptr) return nullptr;
    // The text outlives the stream: the snapshot holds it until the assembly ends.
    return fmemopen(const_cast<char*>(text->bytes().data()), text->bytes().size(), "r");
}

Table tableOf(OperandKind kind) {
    switch (kind) {
        case PatternLabel: return Table::Pattern;
        case Constant: return Table::Constant;
        case JumpLabel: break;
    }
    return Table::Label;
}

// Builds the Model from the observer's events.
struct Builder {
    Builder(Model& m, Snapshot& s) : model(m), snapshot(s) {}
    Model& model;
    Snapshot& snapshot;
    std::vector<uint32_t> reading;  // files open, the one being read last
    int lastLeft = -1;              // the file most recently left, until the next statement
    size_t pass2Cursor = 0;         // pass 2 meets the statements in pass 1's order
    // The symbol of each table entry, -1 for none: pattern slots, constants, labels.
    std::vector<int> symbolOf[3] = {std::vector<int>(kPatternSlots, -1), std::vector<int>(kMaxDefinitions, -1),
                                    std::vector<int>(kMaxProgramLabels, -1)};

    int* symbolOfEntry(Table table, int32_t entry) {
        std::vector<int>& of = symbolOf[static_cast<int>(table)];
        return entry >= 0 && static_cast<size_t>(entry) < of.size() ? &of[entry] : nullptr;
    }

    uint32_t fileIndex(const char* name) {
        const std::string path = snapshot.workspace.resolve(name);
        const int known = model.fileIndex(path);
        if (known >= 0) return static_cast<uint32_t>(known);
        model.files.push_back({path, snapshot.textOf(path)});
        return static_cast<uint32_t>(model.files.size() - 1);
    }

    uint32_t current() const { return reading.empty() ? 0 : reading.back(); }

    void statement(const AsmState& st, const AsmEvent& e) {
        const StatementEvent& s = e.statement;
        const uint32_t file = current();
        const uint32_t line = e.line > 0 ? static_cast<uint32_t>(e.line - 1) : 0;
        Statement* record = nullptr;
        if (e.pass == 1) {
            model.statements.emplace_back();
            record = &model.statements.back();
            record->file = file;
            record->line = line;
            record->code = s.code;
            const char* tokens[Tokens::kMaxTokens];
            size_t count = 0;
            if (s.label[0] != '\0') tokens[count++] = s.label;
            record->wordToken = static_cast<uint32_t>(count);
            tokens[count++] = s.word;
            for (uint32_t i = 1; i <= kMaxOperands && s.operands[i][0] != '\0'; i++) tokens[count++] = s.operands[i];
            record->tokens.assign(tokens, count);
            record->address = s.address;
            record->size = s.size;
            record->placed = s.size > 0 && s.completed;
            if (s.code == StatementCode::Inc && lastLeft >= 0) record->include = lastLeft;
        } else {
            while (pass2Cursor < model.statements.size() &&
                   (model.statements[pass2Cursor].file != file || model.statements[pass2Cursor].line != line))
                pass2Cursor++;
            if (pass2Cursor == model.statements.size()) return;
            record = &model.statements[pass2Cursor++];
        }
        lastLeft = -1;
        // The nibbles each pass wrote, read as it wrote them: a later ORG PGM may write over them.
        for (uint32_t k = 0; k < record->size && k < sizeof record->nibbles; k++)
            if ((s.written >> k & 1) != 0 && s.address + k < kProgramImageSize)
                record->nibbles[k] = st.programImage[s.address + k];
        for (uint32_t n = 0; n < s.nameCount; n++)
            name(st, *record, static_cast<int>(record - model.statements.data()), s.names[n]);
    }

    void name(const AsmState& st, const Statement& record, int statement, const NameUse& use) {
        if (use.entry == kNotLookedUp) return;
        const uint32_t token = use.operand == 0 ? 0 : record.wordToken + use.operand;
        if (token >= record.tokens.size()) return;
        const Table table = tableOf(use.table);
        const TokenPlace place{record.file, record.line, token};
        if (!use.defines) {
            const int* symbol = symbolOfEntry(table, use.entry);
            Use& u = model.uses.emplace_back();
            u.table = table;
            u.name = record.tokens.view(token);
            u.symbol = symbol != nullptr ? *symbol : -1;
            u.place = place;
            return;
        }
        if (use.entry < 0) return;
        Symbol& symbol = model.symbols.emplace_back();
        symbol.table = table;
        symbol.name = record.tokens.view(token);
        symbol.place = place;
        symbol.defined = true;
        symbol.statement = statement;
        const auto entry = static_cast<uint32_t>(use.entry);
        switch (table) {
            case Table::Constant: symbol.value = static_cast<uint32_t>(st.definitions[entry].value); break;
            case Table::Label: symbol.value = static_cast<uint32_t>(st.programLabels[entry].address); break;
            case Table::Pattern:
                symbol.value = entry;
                symbol.word = st.patternMemory[entry].value;
                break;
        }
        if (int* of = symbolOfEntry(table, use.entry)) *of = static_cast<int>(model.symbols.size() - 1);
    }
};

void observe(void* context, const AsmState& st, const AsmEvent& e) {
    auto& b = *static_cast<Builder*>(context);
    switch (e.kind) {
        case EventKind::FileEntered: b.reading.push_back(b.fileIndex(e.file)); break;
        case EventKind::FileLeft:
            b.lastLeft = static_cast<int>(b.current());
            if (!b.reading.empty()) b.reading.pop_back();
            break;
        case EventKind::Statement: b.statement(st, e); break;
        default: break;
    }
}

// Later definitions of a name are never found: first entry for constants and
// labels, lowest slot for pattern labels, which is the first the list holds
// for the first two and is found here for the third. A model has thousands of
// names, made afresh at every change: one open-addressed table of their
// numbers, allocated once, finds each name's first.
void markShadowed(Model& model) {
    size_t slots = 16;
    while (slots < 2 * model.symbols.size()) slots *= 2;
    std::vector<int32_t> first(slots, -1);
    for (size_t i = 0; i < model.symbols.size(); i++) {
        Symbol& s = model.symbols[i];
        size_t at = (std::hash<std::string_view>{}(s.name) + static_cast<size_t>(s.table)) & (slots - 1);
        for (;; at = (at + 1) & (slots - 1)) {
            if (first[at] < 0) {
                first[at] = static_cast<int32_t>(i);
                break;
            }
            Symbol& earlier = model.symbols[first[at]];
            if (earlier.table != s.table || earlier.name != s.name) continue;
            if (s.table == Table::Pattern && s.value < earlier.value) {
                earlier.shadowed = true;
                first[at] = static_cast<int32_t>(i);
            } else {
                s.shadowed = true;
            }
            break;
        }
    }
}

// Whether this model read the text of a place's file.
bool readable(const Model& model, const diag::Range& place) {
    const int file = model.fileOf(place);
    return file >= 0 && model.files[file].text != nullptr;
}

// Where the editor shows each diagnostic, found once for every file: a file the
// assembly could not read (a folder, say) has no text, so its diagnostics go to
// the INC line that named it.
void placeDiagnostics(Model& model) {
    const std::vector<diag::CheckedFile>& files = model.report.files;
    model.shown.assign(model.files.size(), {});
    for (size_t i = 0; i < model.report.diagnostics.size(); i++) {
        diag::Range place = model.report.diagnostics[i].range;
        for (size_t hops = 0; hops < files.size() && !readable(model, place) && place.file < files.size(); hops++) {
            const diag::CheckedFile& f = files[place.file];
            if (f.includedFrom < 0) break;
            place = {static_cast<uint32_t>(f.includedFrom), f.includeLine, f.includeColumn,
                     f.includeColumn == 0 ? 0 : f.includeColumn + static_cast<uint32_t>(f.name.size()) - 1};
        }
        if (readable(model, place))
            model.shown[model.fileOf(place)].push_back({static_cast<uint32_t>(i), place});
    }
}

}  // namespace

Analyzer::Analyzer() = default;
Analyzer::~Analyzer() = default;

std::shared_ptr<const Model> Analyzer::assemble(const std::string& mainPath, const Workspace& workspace,
                                                const DocumentStore& documents) {
    auto model = std::make_shared<Model>();
    model->mainPath = mainPath;
    // The last model's sizes: the next of a file being edited is much the same, and grows without copying.
    Sizes& sizes = sizes_[mainPath];
    model->statements.reserve(sizes.statements);
    model->symbols.reserve(sizes.symbols);
    model->uses.reserve(sizes.uses);
    Snapshot snapshot{workspace, documents, disk_, {}};
    model->files.push_back({mainPath, snapshot.textOf(mainPath)});
    Builder builder(*model, snapshot);

    // One assembly gives the diagnostics and, through the check's observer chain, the model.
    diag::CheckOptions options;
    options.switches = switches_;
    options.opener = openFromSnapshot;
    options.openerContext = &snapshot;
    options.openerRefuses = refusedBySnapshot;
    options.next = observe;
    options.nextContext = &builder;
    const std::string name = workspace.nameOf(mainPath);
    model->report = diag::check(name.c_str(), options);
    model->assembled = !model->report.assemblerFails;
    for (const diag::CheckedFile& f : model->report.files)
        model->reportFiles.push_back(model->fileIndex(workspace.resolve(f.name)));
    for (const auto& [path, text] : snapshot.texts) model->reads.push_back(path);
    markShadowed(*model);
    placeDiagnostics(*model);
    sizes = {model->statements.size(), model->symbols.size(), model->uses.size()};
    return model;
}

}  // namespace qvek::lsp
