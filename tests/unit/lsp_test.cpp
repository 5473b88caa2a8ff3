// The language server in-process, as an editor drives it: framed messages in,
// framed answers and notifications out, over a workspace in a folder of its
// own. Bad input of every kind must get the protocol's answer and leave the
// server going on.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "core/state_memory.h"
#include "inspect/source_names.h"
#include "lsp/documents.h"
#include "lsp/server.h"
#include "lsp/text.h"
#include "lsp/transport.h"
#include "lsp/workspace.h"

namespace qvek::lsp {
namespace {

namespace fs = std::filesystem;

std::string framed(const std::string& body) {
    return "Content-Length: " + std::to_string(body.size()) + "\r\n\r\n" + body;
}

class Lsp : public ::testing::Test {
  protected:
    Lsp() {
        fs::create_directories(root);
        write("COMMON.INC", "DEF #ONE 1\nDEF #TWO 2\n#ENTRY NOP\n");
        write("main.qvs", "INC COMMON.INC\n#LOOP LDA #ONE\nJMP #LOOP\nPAT #P 5\nLPP #P\n");
        request("initialize", {{"processId", nullptr}, {"rootUri", uriOfPath(root)}, {"capabilities", json::object()}});
        notify("initialized", json::object());
    }
    ~Lsp() override { fs::remove_all(root); }

    void write(const std::string& name, const std::string& text) { std::ofstream(root + "/" + name) << text; }
    std::string uri(const std::string& name) const { return uriOfPath(root + "/" + name); }

    void raw(const std::string& bytes) {
        server.receive(bytes.data(), bytes.size());
        server.flush();
    }
    void notify(const std::string& method, const json& params) {
        raw(framed(json{{"jsonrpc", "2.0"}, {"method", method}, {"params", params}}.dump()));
    }
    // The answer to a request: its result, or its error object.
    json request(const std::string& method, const json& params) {
        const int id = ++lastId;
        raw(framed(json{{"jsonrpc", "2.0"}, {"id", id}, {"method", method}, {"params", params}}.dump()));
        for (const json& m : out)
            if (m.value("id", json()) == id) return m.contains("error") ? m["error"] : m["result"];
        return "no answer";
    }
    json at(const std::string& name, uint32_t line, uint32_t character) const {
        return {{"textDocument", {{"uri", uri(name)}}}, {"position", {{"line", line}, {"character", character}}}};
    }
    void open(const std::string& name, const std::string& text) {
        notify("textDocument/didOpen",
               {{"textDocument", {{"uri", uri(name)}, {"languageId", "qvek"}, {"version", 1}, {"text", text}}}});
    }
    void edit(const std::string& name, Position from, Position to, const std::string& text) {
        const auto place = [](Position p) { return json{{"line", p.line}, {"character", p.character}}; };
        notify("textDocument/didChange", {{"textDocument", {{"uri", uri(name)}, {"version", 2}}},
                                          {"contentChanges", {{{"range", {{"start", place(from)}, {"end", place(to)}}},
                                                               {"text", text}}}}});
    }
    void replaceText(const std::string& name, const std::string& text) {
        notify("textDocument/didChange",
               {{"textDocument", {{"uri", uri(name)}, {"version", 2}}}, {"contentChanges", {{{"text", text}}}}});
    }
    // The diagnostics last published for a file (null when none ever were).
    json diagnostics(const std::string& name) const {
        json last;
        for (const json& m : out)
            if (m.value("method", "") == "textDocument/publishDiagnostics" && m["params"]["uri"] == uri(name))
                last = m["params"]["diagnostics"];
        return last;
    }

    const std::string root = (fs::temp_directory_path() / ("qvek-lsp-test-" + std::to_string(getpid()))).string();
    std::vector<json> out;
    Server server{[this](const std::string& body) { out.push_back(json::parse(body)); }, ""};
    int lastId = 0;
};

TEST_F(Lsp, BadInputGetsTheProtocolsAnswerAndTheServerGoesOn) {
    const std::string hover =
        json{{"jsonrpc", "2.0"}, {"id", 99}, {"method", "textDocument/hover"}, {"params", at("main.qvs", 1, 8)}}.dump();
    const struct {
        std::string input;
        int code;  // of the error answer; 0 = none
    } cases[] = {
        {framed("{not json"), ParseError},
        {framed("[1, 2]"), InvalidRequest},
        {framed(R"({"jsonrpc":"2.0","id":{"a":1},"method":"shutdown"})"), InvalidRequest},
        {framed(R"({"jsonrpc":"2.0","id":7,"method":"no/such"})"), MethodNotFound},
        {framed(R"({"jsonrpc":"2.0","method":"no/such"})"), 0},
        {framed(R"({"jsonrpc":"2.0","id":8,"method":"textDocument/hover","params":{"position":-1}})"), InvalidParams},
        {"Content-Length: 12x\r\n\r\n", ParseError},
        {"Content-Length: 99999999999999\r\n\r\n", ParseError},
        // A length too short leaves the rest of the body; one too long eats the next header.
        {"Content-Length: 5\r\n\r\n{\"jsonrpc\":\"2.0\"}", ParseError},
        {"Content-Length: 40\r\n\r\n{}", ParseError},
        // A header block with bare line feeds, or without its blank line, must not take the next one.
        {"Content-Length: 2\n\n{}", ParseError},
        {"Content-Length: 2\r\n{}", ParseError},
    };
    for (const auto& c : cases) {
        out.clear();
        raw(c.input + framed(hover));
        ASSERT_FALSE(out.empty()) << c.input;
        if (c.code != 0) {
            EXPECT_EQ(out.front()["error"]["code"], c.code) << c.input;
        }
        EXPECT_EQ(out.back()["id"], 99) << c.input << " then " << out.back().dump();
        EXPECT_FALSE(out.back().contains("error")) << c.input;
    }
}

TEST_F(Lsp, FollowsTheLifecycle) {
    Server fresh{[this](const std::string& body) { out.push_back(json::parse(body)); }, root};
    out.clear();
    const std::string early = framed(R"({"jsonrpc":"2.0","id":1,"method":"textDocument/hover","params":{}})");
    fresh.receive(early.data(), early.size());
    EXPECT_EQ(out.back()["error"]["code"], ServerNotInitialized);
    EXPECT_EQ(request("initialize", json::object())["code"], InvalidRequest);
    EXPECT_EQ(request("shutdown", nullptr), nullptr);
    EXPECT_EQ(request("textDocument/hover", at("main.qvs", 1, 8))["code"], InvalidRequest);
    notify("exit", nullptr);
    EXPECT_TRUE(server.exited());
    EXPECT_EQ(server.exitCode(), 0);
}

TEST_F(Lsp, DiagnosticsAreTheAssemblersOnTheFileAndTokenTheyName) {
    open("main.qvs", "INC COMMON.INC\n#LOOP LDA #ONE\nJMP #LOOP\n");
    EXPECT_EQ(diagnostics("main.qvs"), nullptr);  // nothing qvek accepts is flagged
    // Unsaved text of an include file counts, and its messages go on it.
    open("COMMON.INC", "DEF #ONE 1\nDEF #ONE 7\n  lmr  q * a comment\n LDA #NONE\n");
    const json d = diagnostics("COMMON.INC");
    ASSERT_EQ(d.size(), 4u) << d.dump();
    // The later #ONE is ignored: said so, pointing at the first.
    EXPECT_EQ(d[0]["code"], "Q3005");
    EXPECT_EQ(d[0]["severity"], 2);
    EXPECT_EQ(d[0]["range"]["start"]["line"], 1);
    EXPECT_EQ(d[0]["relatedInformation"][0]["location"]["uri"], uri("COMMON.INC"));
    EXPECT_EQ(d[0]["relatedInformation"][0]["location"]["range"]["start"]["line"], 0);
    EXPECT_EQ(d[1]["code"], "Q2003");  // possibly a missing '#'
    EXPECT_EQ(d[1]["severity"], 2);
    EXPECT_EQ(d[1]["range"]["start"]["character"], 7);
    // The plain words first, then the assembler's own.
    EXPECT_EQ(d[2]["message"],
              "constant `#NONE` is not defined\nERROR:- Definition for #NONE is not defined on line 004 in file "
              "COMMON.INC");
    EXPECT_EQ(d[2]["severity"], 1);
    EXPECT_EQ(d[2]["range"], json::parse(R"({"start":{"line":3,"character":5},"end":{"line":3,"character":10}})"));
    EXPECT_EQ(d[3]["message"], "did you mean `#ONE`?");
    EXPECT_EQ(d[3]["severity"], 3);
    // Mended, the diagnostics are cleared.
    replaceText("COMMON.INC", "DEF #ONE 1\n");
    EXPECT_EQ(diagnostics("COMMON.INC"), json::array());
}

TEST_F(Lsp, OddDocumentsAreAssembledAndAnsweredLikeAnyOther) {
    open("empty.qvs", "");
    EXPECT_EQ(diagnostics("empty.qvs"), nullptr);
    EXPECT_EQ(request("textDocument/hover", at("empty.qvs", 5, 500)), nullptr);  // past the end
    // A file that includes itself: refused at the sixteenth level, as qvek refuses it.
    write("SELF.INC", "INC SELF.INC\n");
    open("cycle.qvs", "INC SELF.INC\n");
    EXPECT_NE(diagnostics("SELF.INC").dump().find("\"Q1012\""), std::string::npos) << diagnostics("SELF.INC").dump();
    // A document never opened and read by no main source: empty answers; a URI no file: an error.
    EXPECT_EQ(request("textDocument/definition", at("none.qvs", 0, 0)), nullptr);
    EXPECT_EQ(request("textDocument/references", {{"textDocument", {{"uri", "untitled:1"}}},
                                                  {"position", {{"line", 0}, {"character", 0}}}})["code"],
              InvalidParams);
}

TEST_F(Lsp, TakesTenMegabyteDocuments) {
    // Lines too long for the reader, and a statement after them that is never read.
    // Written out by hand: JSON's own writer takes seconds over ten megabytes in a debug build.
    std::string text;
    while (text.size() < (10u << 20)) text += std::string(200, 'A') + "\\n";
    raw(framed(R"({"jsonrpc":"2.0","method":"textDocument/didOpen","params":{"textDocument":{"uri":")" +
               uri("huge.qvs") + R"(","languageId":"qvek","version":1,"text":")" + text + R"(LDA #NONE\n"}}})"));
    const json d = diagnostics("huge.qvs");
    ASSERT_EQ(d.size(), 1u);
    EXPECT_EQ(d[0]["code"], "Q1006");  // a line longer than 120 characters
    EXPECT_EQ(request("textDocument/semanticTokens/full", at("huge.qvs", 0, 0))["data"], json::array());
}

TEST_F(Lsp, NamesAreFoundThroughTheEntriesTheyResolvedTo) {
    open("main.qvs", "INC COMMON.INC\n#LOOP LDA #one\nJMP #LOOP\nPAT #P 5\nLPP #P\nLDA 0ABC\n");
    const json def = request("textDocument/definition", at("main.qvs", 1, 12));
    EXPECT_EQ(def["uri"], uri("COMMON.INC"));
    EXPECT_EQ(def["range"]["start"], json::parse(R"({"line":0,"character":4})"));
    EXPECT_EQ(request("textDocument/references", at("main.qvs", 2, 6)).size(), 2u);
    EXPECT_NE(request("textDocument/hover", at("main.qvs", 5, 5))["contents"]["value"].dump().find("missing '#'"),
              std::string::npos);
    json p = at("main.qvs", 1, 12);
    for (const char* refused : {"#TWO", "#ENTRY", "NOHASH", "#A B", "#A*B", ""}) {
        p["newName"] = refused;
        EXPECT_TRUE(request("textDocument/rename", p).contains("code")) << refused;
    }
    p["newName"] = "#first";
    const json edit = request("textDocument/rename", p);
    EXPECT_EQ(edit["changes"][uri("COMMON.INC")].size(), 1u);
    EXPECT_EQ(edit["changes"][uri("main.qvs")][0]["newText"], "#first");
}

TEST_F(Lsp, CompletionOffersTheTableTheOperandIsLookedUpIn) {
    open("main.qvs", "INC COMMON.INC\n#LOOP LDA #ONE\nJMP #LOOP\nPAT #P 5\nLPP #P\n");
    const auto labels = [&](uint32_t line, const std::string& text) {
        replaceText("main.qvs", "INC COMMON.INC\n#LOOP LDA #ONE\nJMP #LOOP\nPAT #P 5\nLPP #P\n" + text + "\n");
        std::string names;
        for (const json& item : request("textDocument/completion", at("main.qvs", line, 99)))
            names += item["label"].get<std::string>() + " ";
        return names;
    };
    EXPECT_EQ(labels(5, "LPP "), "#P ");
    EXPECT_EQ(labels(5, "CAL #"), "#ENTRY #LOOP ");
    EXPECT_EQ(labels(5, "LDA "), "#ONE #TWO ");
    EXPECT_EQ(labels(5, "NOP "), "");
    EXPECT_NE(labels(5, "#X l").find("LDA"), std::string::npos);
}

TEST_F(Lsp, HoverAndHintsTellWhatThePassesMade) {
    write("TWICE.INC", "NOP\n");
    open("main.qvs", "INC COMMON.INC\n#LOOP LDA #ONE\nJMP #LOOP\nPAT #P 5\nLPP #P\nINC TWICE.INC\nINC TWICE.INC\n");
    const auto shown = [&](uint32_t line, uint32_t character) {
        return request("textDocument/hover", at("main.qvs", line, character))["contents"]["value"].get<std::string>();
    };
    EXPECT_NE(shown(2, 6).find("nibble address `0x001`"), std::string::npos);  // after #ENTRY's NOP
    EXPECT_NE(shown(2, 6).find("#LOOP LDA #ONE"), std::string::npos);          // the statement there
    EXPECT_NE(shown(1, 7).find("`4 1 0`"), std::string::npos);                 // LDA #ONE's nibbles
    EXPECT_NE(shown(4, 5).find("slot 0, host address `0x0000`, value `0x00000005`"), std::string::npos);
    // A file read twice holds its statement at two addresses.
    const json hints =
        request("textDocument/inlayHint",
                {{"textDocument", {{"uri", uri("TWICE.INC")}}},
                 {"range", {{"start", {{"line", 0}, {"character", 0}}}, {"end", {{"line", 9}, {"character", 0}}}}}});
    ASSERT_EQ(hints.size(), 1u);
    EXPECT_EQ(hints[0]["label"], "0x00D,0x00E:");
}

TEST_F(Lsp, OutlineAndWorkspaceSymbolsNameWhatThePassesEntered) {
    write("second.qvs", "INC COMMON.INC\n");  // a second main source reading the same include
    open("main.qvs", "INC COMMON.INC\n#LOOP LDA #ONE\nJMP #LOOP\nPAT #P 5\nLPP #P\n");
    open("second.qvs", "INC COMMON.INC\n");
    std::string outline;
    for (const json& s : request("textDocument/documentSymbol", {{"textDocument", {{"uri", uri("COMMON.INC")}}}}))
        outline += s["name"].get<std::string>() + ":" + std::to_string(s["kind"].get<int>()) + "@" +
                   std::to_string(s["range"]["start"]["line"].get<int>()) + " ";
    EXPECT_EQ(outline, "#ONE:14@0 #TWO:14@1 #ENTRY:12@2 ");
    std::string found;
    for (const json& s : request("workspace/symbol", {{"query", "o"}}))
        found += s["name"].get<std::string>() + " ";  // each definition once, however many sources read it
    EXPECT_EQ(found, "#ONE #TWO #LOOP ");
}

// Every quick fix offered over a whole file, applied, gives a source that
// assembles; an unused name is tagged unnecessary; the client switches warnings.
TEST_F(Lsp, QuickFixesOfferedAndAppliedGiveASourceThatAssembles) {
    const std::string source = "DEF #COUNT 3\nDEF #SPARE 4\n#LOOP LDAA #COUNT\n JMP #LOPP\n";
    write("fix.qvs", source);
    open("fix.qvs", source);
    const json d = diagnostics("fix.qvs");
    bool unusedTagged = false;
    for (const json& item : d) unusedTagged |= item.value("tags", json::array()) == json::array({1});
    EXPECT_TRUE(unusedTagged) << d.dump();  // #SPARE

    const json actions =
        request("textDocument/codeAction",
                {{"textDocument", {{"uri", uri("fix.qvs")}}},
                 {"range", {{"start", {{"line", 0}, {"character", 0}}}, {"end", {{"line", 9}, {"character", 0}}}}},
                 {"context", {{"diagnostics", json::array()}}}});
    ASSERT_EQ(actions.size(), 2u) << actions.dump();  // LDA, #LOOP
    // Applied from the end, so that earlier offsets stay put.
    const Text before(source);
    std::vector<std::pair<size_t, std::pair<size_t, std::string>>> edits;
    for (const json& action : actions) {
        EXPECT_EQ(action["kind"], "quickfix");
        for (const json& e : action["edit"]["changes"][uri("fix.qvs")]) {
            const Position start{e["range"]["start"]["line"], e["range"]["start"]["character"]};
            const Position end{e["range"]["end"]["line"], e["range"]["end"]["character"]};
            edits.push_back({before.offsetOf(start), {before.offsetOf(end), e["newText"]}});
        }
    }
    std::sort(edits.rbegin(), edits.rend());
    std::string fixed = source;
    for (const auto& [from, to] : edits) fixed.replace(from, to.first - from, to.second);
    EXPECT_EQ(fixed, "DEF #COUNT 3\nDEF #SPARE 4\n#LOOP LDA #COUNT\n JMP #LOOP\n");
    write("fixed.qvs", fixed);
    const std::string here = fs::current_path().string();
    fs::current_path(root);
    const AsmStatePtr st = newAsmState();
    EXPECT_EQ(assembleSilently(*st, "fixed.qvs", true), SourceResult::Assembled);
    EXPECT_EQ(st->errorCount + st->warningCount, 0);
    fs::current_path(here);

    // {"warnings": {"all": false}}: the engine's own warnings are gone, the assembler's stay.
    std::vector<json> quiet;
    Server other{[&](const std::string& body) { quiet.push_back(json::parse(body)); }, root};
    const json init = {
        {"jsonrpc", "2.0"},
        {"id", 1},
        {"method", "initialize"},
        {"params", {{"capabilities", json::object()}, {"initializationOptions", {{"warnings", {{"all", false}}}}}}}};
    const json opened = {
        {"jsonrpc", "2.0"},
        {"method", "textDocument/didOpen"},
        {"params",
         {{"textDocument", {{"uri", uri("fix.qvs")}, {"languageId", "qvek"}, {"version", 1}, {"text", source}}}}}};
    for (const json& m : {init, opened}) {
        const std::string bytes = framed(m.dump());
        other.receive(bytes.data(), bytes.size());
    }
    other.flush();
    std::string codes;
    for (const json& m : quiet)
        if (m.value("method", "") == "textDocument/publishDiagnostics" && m["params"]["uri"] == uri("fix.qvs"))
            for (const json& item : m["params"]["diagnostics"]) codes += item["code"].get<std::string>() + " ";
    EXPECT_EQ(codes.find("Q3"), std::string::npos) << codes;
    EXPECT_NE(codes.find("Q1001"), std::string::npos) << codes;
}

// The editor's lines end at "\n", "\r\n" and a lone "\r"; the assembler's at
// "\n" alone. Edits land where the editor made them, messages where the
// assembler's line begins, and no number wraps to another line.
TEST_F(Lsp, TheServerHoldsTheEditorsText) {
    open("crlf.qvs", "NOP\r\nRET\r\n");
    edit("crlf.qvs", {0, 100}, {0, 100}, " * c");  // past the end: before the line break
    edit("crlf.qvs", {0, 3}, {0, 7}, "");
    EXPECT_EQ(diagnostics("crlf.qvs"), nullptr);

    open("cr.qvs", "NOP\rNOP\nBAD\n");
    json d = diagnostics("cr.qvs");
    ASSERT_FALSE(d.empty());
    EXPECT_EQ(d.back()["range"]["start"]["line"], 2) << d.dump();
    edit("cr.qvs", {2, 0}, {2, 3}, "RET");
    EXPECT_EQ(diagnostics("cr.qvs").dump().find("003"), std::string::npos) << diagnostics("cr.qvs").dump();

    open("main.qvs", "#LOOP NOP\nJMP #LOOP\nRET\nJMP #LOOP\n");
    for (const json& line : {json(4294967299u), json(-4294967293LL), json(-1)}) {
        json p = at("main.qvs", 0, 7);
        p["position"]["line"] = line;
        EXPECT_EQ(request("textDocument/hover", p)["code"], InvalidParams) << line;
        p["newName"] = "#L2";
        EXPECT_EQ(request("textDocument/rename", p)["code"], InvalidParams) << line;
    }
}

TEST_F(Lsp, OneDocumentPerFileUnderEverySpelling) {
    const std::string spellings[] = {uriOfPath(root) + "/./dup.qvs", uriOfPath(root) + "/%64up.qvs"};
    write("dup.qvs", "NOP\n");
    for (const std::string& u : spellings)
        notify("textDocument/didOpen",
               {{"textDocument", {{"uri", u}, {"languageId", "qvek"}, {"version", 1}, {"text", "BAD\n"}}}});
    notify("textDocument/didClose", {{"textDocument", {{"uri", spellings[0]}}}});
    EXPECT_FALSE(diagnostics("dup.qvs").empty());  // still the editor's text, not the disk's
    notify("textDocument/didClose", {{"textDocument", {{"uri", spellings[1]}}}});
    EXPECT_TRUE(diagnostics("dup.qvs").empty());
}

TEST_F(Lsp, RenameAndCompletionGoWhereTheAssemblerGoes) {
    open("grow.qvs", "DEF #A 1\nDEF #B #A OR #A OR #A OR #A\n");
    json p = at("grow.qvs", 0, 5);
    p["newName"] = "#" + std::string(59, 'N');  // four times 58 more characters on line 2
    EXPECT_EQ(request("textDocument/rename", p)["code"], RequestFailed);

    open("pat.qvs", "PAT #A H11111111\nPAT #B H22222222 0\nLPP #\n");
    const json items = request("textDocument/completion", at("pat.qvs", 2, 5));
    ASSERT_EQ(items.size(), 1u) << items.dump();
    EXPECT_EQ(items[0]["label"], "#B");
    EXPECT_EQ(items[0]["detail"], "slot 0, value 0x22222222 (572662306)");
}

TEST_F(Lsp, IncludesThatAreNoFilesGetQveksMessages) {
    fs::create_directory(root + "/DIR");
    fs::create_symlink("/dev/zero", root + "/ZERO.INC");
    ASSERT_EQ(mkfifo((root + "/PIPE.INC").c_str(), 0600), 0);
    // On the INC line, in qvek's own words.
    const struct {
        const char* include;
        const char* on;
        const char* message;
    } cases[] = {
        {"ZERO.INC", "inc.qvs", "Include file ZERO.INC on line 001 in file inc.qvs is a device, which cannot be read on both passes !"},
        {"PIPE.INC", "inc.qvs", "Include file PIPE.INC on line 001 in file inc.qvs is a pipe, which cannot be read on both passes !"},
        {"DIR", "inc.qvs", "Could not read file DIR after line 000 !"},
    };
    for (const auto& c : cases) {
        open("inc.qvs", std::string("INC ") + c.include + "\n");
        EXPECT_NE(diagnostics(c.on).dump().find(c.message), std::string::npos) << diagnostics(c.on).dump();
    }
}

TEST_F(Lsp, FormattingEditsGiveTheFormattersText) {
    const std::string text = "lda #one * load\r\n#l  nop\r\n\tret";
    open("f.qvs", text);
    const json whole = request("textDocument/formatting", {{"textDocument", {{"uri", uri("f.qvs")}}}});
    ASSERT_EQ(whole.size(), 3u) << whole.dump();
    // Applied from the last, the edits give what qvekfmt writes.
    std::string result = text;
    const Text before(text);
    for (auto e = whole.rbegin(); e != whole.rend(); ++e) {
        const auto offset = [&](const json& p) {
            return before.offsetOf({p["line"].get<uint32_t>(), p["character"].get<uint32_t>()});
        };
        const size_t from = offset((*e)["range"]["start"]);
        const size_t to = offset((*e)["range"]["end"]);
        result.replace(from, to - from, (*e)["newText"].get<std::string>());
    }
    EXPECT_EQ(result, "        LDA #ONE                * load\r\n#L      NOP\r\n        RET\r\n");
    const json range = request("textDocument/rangeFormatting",
                               {{"textDocument", {{"uri", uri("f.qvs")}}},
                                {"range", {{"start", {{"line", 1}, {"character", 3}}}, {"end", {{"line", 2}, {"character", 0}}}}}});
    ASSERT_EQ(range.size(), 1u);
    EXPECT_EQ(range[0]["range"]["start"]["line"], 1);
    EXPECT_EQ(range[0]["newText"], "#L      NOP\r\n");
    open("zero.qvs", std::string("NOP\0", 4));
    EXPECT_EQ(request("textDocument/formatting", {{"textDocument", {{"uri", uri("zero.qvs")}}}})["code"], RequestFailed);
}

TEST(LspFrames, AnyCutOfTheStreamGivesTheSameBodies) {
    std::mt19937 rng(3);
    std::vector<std::string> bodies;
    std::string stream;
    for (int i = 0; i < 50; i++) {
        bodies.push_back(std::string(rng() % 300, static_cast<char>('a' + i % 26)));
        stream += (i % 2 == 0 ? "Content-Length: " : "content-length:") + std::to_string(bodies.back().size()) +
                  (i % 3 == 0 ? "\r\nContent-Type: x\r\n\r\n" : "\r\n\r\n") + bodies.back();
    }
    for (int round = 0; round < 20; round++) {
        FrameReader frames;
        std::vector<std::string> taken;
        std::string body;
        for (size_t at = 0; at < stream.size();) {
            const size_t piece = std::min<size_t>(1 + rng() % 700, stream.size() - at);
            frames.feed(stream.data() + at, piece);
            at += piece;
            while (frames.next(body) == Frame::Body) taken.push_back(body);
        }
        EXPECT_EQ(taken, bodies) << round;
    }
}

TEST(LspDocuments, EditsCountColumnsInUtf16Units) {
    DocumentStore documents;
    // A two-byte, a three-byte and a four-byte character: 1 + 1 + 2 units.
    documents.open("u", "/u", 1, "#A \xC3\xA4\xE2\x82\xAC\xF0\x9F\x98\x80 LDA\nNOP\n");
    Edit e;
    e.range = {{0, 3}, {0, 7}};  // the three characters
    e.text = "X";
    Edit next;
    next.range = {{1, 0}, {1, 3}};
    next.text = "RET";
    ASSERT_TRUE(documents.change("u", 2, {e, next}));
    EXPECT_EQ(documents.byUri("u")->text->bytes(), "#A X LDA\nRET\n");
    EXPECT_FALSE(documents.change("never opened", 2, {e}));
}

TEST(LspText, Utf16ColumnsAndBytesAgree) {
    std::mt19937 rng(7);
    const std::string pieces[] = {"a", " ", "\xC3\xA4", "\xE2\x82\xAC", "\xF0\x9F\x98\x80", "\xFF", "\xC3"};
    for (int round = 0; round < 200; round++) {
        std::string line;
        std::vector<size_t> boundaries{0};
        for (int i = 0; i < 20; i++) {
            line += pieces[rng() % 7];
            boundaries.push_back(line.size());
        }
        // Every character boundary maps to a column and back to itself.
        for (size_t b : boundaries) EXPECT_EQ(bytesOfUnits(line, utf16Units(line, b)), b) << round;
    }
    EXPECT_EQ(utf16Units("\xF0\x9F\x98\x80x", 5), 3u);  // a surrogate pair, then x
}

TEST(LspText, AWalkFindsThePositionsTheLineTableFinds) {
    std::mt19937 rng(11);
    const std::string pieces[] = {"\n", "\r\n", "\r", "a", "\xC3\xA4", "\xF0\x9F\x98\x80"};
    for (int round = 0; round < 100; round++) {
        std::string bytes;
        for (int i = rng() % 16; i > 0; i--) bytes += pieces[rng() % 6];
        const Text text(bytes);
        for (uint32_t line : {0u, 1u, 2u, 3u, 5u, 9u, UINT32_MAX})
            for (uint32_t character : {0u, 1u, 2u, 3u, 7u, UINT32_MAX})
                ASSERT_EQ(offsetIn(bytes, {line, character}), text.offsetOf({line, character}))
                    << json(bytes).dump() << " " << line << ":" << character;
    }
}

TEST(LspWorkspace, UriSpellingsOfOneFileGiveOnePath) {
    const std::pair<const char*, const char*> cases[] = {
        {"file:///d/t.qvs", "/d/t.qvs"},   {"file:///d/./t.qvs", "/d/t.qvs"},  {"file:///d//t.qvs", "/d/t.qvs"},
        {"file:///d/x/../t.qvs", "/d/t.qvs"}, {"file:///d/%74.qvs", "/d/t.qvs"}, {"file:///d/%2E/t.qvs", "/d/t.qvs"},
        {"file:///d/", "/d"},              {"file:///", "/"},                  {"file:///..", "/"},
        {"file:///d/.t/..t", "/d/.t/..t"}, {"file:///d/t.qvs/.", "/d/t.qvs"},  {"file://host/d", ""},
    };
    for (const auto& [uri, path] : cases) EXPECT_EQ(pathOfUri(uri), path) << uri;
}

TEST(LspWorkspace, OneFileIsAMainSourceOnDiskAsTheFolderListsIt) {
    const fs::path root = fs::temp_directory_path() / ("qvek-lsp-disk-" + std::to_string(getpid()));
    fs::create_directories(root / "sub");
    fs::create_directories(root / "f.qvs");
    for (const char* name : {"a.qvs", "B.QVS", "c.inc", "sub/e.qvs"}) std::ofstream(root / name) << "NOP\n";
    fs::create_symlink(root / "a.qvs", root / "link.qvs");
    fs::create_symlink(root / "missing", root / "dangling.qvs");
    Workspace workspace;
    workspace.setRoot(root.string());
    const std::vector<std::string> listed = workspace.diskMainSources();
    for (const char* name : {"a.qvs", "B.QVS", "c.inc", "f.qvs", "sub", "sub/e.qvs", "link.qvs", "dangling.qvs",
                             "none.qvs"}) {
        const std::string path = workspace.resolve(name);
        EXPECT_EQ(workspace.isDiskMainSource(path), std::count(listed.begin(), listed.end(), path) == 1) << name;
    }
    EXPECT_EQ(listed.size(), 3u);
    fs::remove_all(root);
}

}  // namespace
}  // namespace qvek::lsp
