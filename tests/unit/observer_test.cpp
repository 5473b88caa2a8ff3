// The observer: what both passes tell it, in order, for a source with an
// include, and the file and line a message is told with.
#include "core/observer.h"

#include <string>

#include "inspect/source_names.h"
#include "test_support.h"

namespace qvek::test {
namespace {

// Each event as one line: pass, kind, file:line and what the kind carries.
std::string describe(const AsmEvent& e) {
    char head[128];
    std::snprintf(head, sizeof head, "%u %s:%d ", e.pass, e.file, e.line);
    std::string text = head;
    switch (e.kind) {
        case EventKind::FileEntered: return text + "enter depth " + std::to_string(e.depth);
        case EventKind::FileLeft: return text + (e.completed ? "left" : "left failed");
        case EventKind::Constant:
            return text + "constant " + std::to_string(e.constant.entry) + "=" + std::to_string(e.constant.value);
        case EventKind::PatternWord:
            return text + "pattern slot " + std::to_string(e.pattern.slot) + "=" + std::to_string(e.pattern.value);
        case EventKind::Origin:
            return text + "origin " + std::to_string(static_cast<int>(e.origin.segment)) + " " +
                   std::to_string(e.origin.origin) + (e.origin.ignored ? " ignored" : "");
        case EventKind::Message:
            return text + (e.message.severity == Severity::Error ? "error" : "warning") + e.message.text;
        case EventKind::Statement: break;
    }
    const StatementEvent& s = e.statement;
    char facts[64];
    std::snprintf(facts, sizeof facts, "%s @%u+%u w%x%s", s.word, s.address, s.size, s.written,
                  s.completed ? "" : " failed");
    text += facts;
    const char kTables[] = "PCJ";  // by OperandKind
    for (uint32_t i = 0; i < s.nameCount; i++) {
        const NameUse& n = s.names[i];
        text += std::string(" ") + (n.operand == 0 ? s.label : s.operands[n.operand]) + ":" + kTables[n.table] +
                (n.defines ? "=" : "?") + std::to_string(n.entry);
    }
    return text;
}

void collect(void* lines, const AsmState&, const AsmEvent& event) {
    *static_cast<std::string*>(lines) += describe(event) + "\n";
}

std::string eventsOf(const char* source, bool bothPasses) {
    auto st = std::make_unique<AsmState>();
    std::string lines;
    st->observer = collect;
    st->observerContext = &lines;
    assembleSilently(*st, source, bothPasses);
    return lines;
}

TEST(Observer, TellsBothPassesInReadingOrder) {
    Folder folder;
    folder.write("main.qvs", "DEF #K 3 OR #NONE\n#L LDA #K\n  INC SUB.INC\nPAT #P #K\nORG PGM H10\nJMP #L\n* end\n");
    folder.write("SUB.INC", "* routines\n\nCAL #L\n");
    EXPECT_EQ(eventsOf("main.qvs", true),
              "1 main.qvs:0 enter depth 0\n"
              "1 main.qvs:1 warning\nWARNING:- Definition for #NONE is not defined on line 001in file main.qvs\n"
              "1 main.qvs:1 constant 0=3\n"
              "1 main.qvs:1 DEF @0+0 w0 #K:C=0 #NONE:C?-1\n"
              "1 main.qvs:2 LDA @0+3 w7 #L:J=0 #K:C?0\n"
              "1 SUB.INC:0 enter depth 1\n"
              "1 SUB.INC:3 CAL @3+4 w1 #L:J?-2\n"
              "1 SUB.INC:3 left\n"
              "1 main.qvs:3 INC @3+0 w0\n"
              "1 main.qvs:4 pattern slot 0=3\n"
              "1 main.qvs:4 PAT @7+0 w0 #P:P=0 #K:C?0\n"
              "1 main.qvs:5 origin 0 16\n"
              "1 main.qvs:5 ORG @7+0 w0\n"
              "1 main.qvs:6 JMP @16+5 w11 #L:J?-2\n"
              "1 main.qvs:7 left\n"
              "2 main.qvs:0 enter depth 0\n"
              "2 main.qvs:1 DEF @0+0 w0 #K:C=-2\n"  // pass 2 splits two operands only
              "2 main.qvs:2 LDA @0+3 w0 #L:J=-2 #K:C?-2\n"
              "2 SUB.INC:0 enter depth 1\n"
              "2 SUB.INC:3 CAL @3+4 we #L:J?0\n"
              "2 SUB.INC:3 left\n"
              "2 main.qvs:3 INC @3+0 w0\n"
              "2 main.qvs:4 PAT @7+0 w0 #P:P=-2 #K:C?-2\n"
              "2 main.qvs:5 ORG @7+0 w0\n"
              "2 main.qvs:6 JMP @16+5 we #L:J?0\n"
              "2 main.qvs:7 left\n");
}

TEST(Observer, TellsAFailureWhereItHappened) {
    Folder folder;
    folder.write("main.qvs", "NOP\nINC SUB.INC\nNOP\n");
    folder.write("SUB.INC", "ORG PAT 5000\n\nLDA #NOPE\n");
    EXPECT_EQ(eventsOf("main.qvs", false),
              "1 main.qvs:0 enter depth 0\n"
              "1 main.qvs:1 NOP @0+1 w1\n"
              "1 SUB.INC:0 enter depth 1\n"
              "1 SUB.INC:1 warning\nWARNING:- ORG statement on line 001 in file SUB.INC will exceed allowed pattern "
              "memory space. Statement ignored.\n"
              "1 SUB.INC:1 origin 1 0 ignored\n"
              "1 SUB.INC:1 ORG @1+0 w0\n"
              "1 SUB.INC:3 error\nERROR:- Definition for #NOPE is not defined on line 003 in file SUB.INC\n"
              "1 SUB.INC:3 LDA @1+3 w0 failed #NOPE:C?-1\n"
              "1 SUB.INC:3 left failed\n"
              "1 main.qvs:2 INC @1+0 w0 failed\n"
              "1 main.qvs:2 left failed\n");
}

}  // namespace
}  // namespace qvek::test
