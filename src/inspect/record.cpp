#include "inspect/record.h"

namespace qvek {

namespace {

void recordStatement(Record& record, const AsmEvent& event) {
    const StatementEvent& s = event.statement;
    const uint32_t number = ++record.lines[event.pass];
    if (s.completed) record.completed[event.pass]++;
    const Site site = siteOf(record, event);
    for (uint32_t k = 0; k < s.size; k++) {
        const uint32_t address = s.address + k;
        if ((s.written >> k & 1) != 0 && address < kProgramNibbles) record.nibbles[address] = {number, s.address, site};
    }
    if (event.pass != 1) return;
    // Program labels are entered by every pass-1 line that has one, whatever the statement.
    for (uint32_t i = 0; i < s.nameCount; i++) {
        const NameUse& name = s.names[i];
        if (name.defines && name.table == JumpLabel && name.entry >= 0) record.labels[name.entry] = site;
    }
}

}  // namespace

uint32_t FileTable::add(const char* name) {
    const auto [place, added] = index_.try_emplace(name, count());
    if (added) names_.emplace_back(name);
    return place->second;
}

Site siteOf(const Record& record, const AsmEvent& event) { return {record.openFiles[event.depth], event.line}; }

bool targetsFilled(const Record& record, uint32_t n) { return n <= record.completed[2]; }

void recordEvent(void* context, const AsmState&, const AsmEvent& event) {
    Record& record = *static_cast<Record*>(context);
    switch (event.kind) {
        case EventKind::FileEntered: record.openFiles[event.depth] = record.files.add(event.file); break;
        case EventKind::Statement: recordStatement(record, event); break;
        case EventKind::Constant: record.constants[event.constant.entry] = siteOf(record, event); break;
        case EventKind::PatternWord: record.patterns[event.pattern.slot] = siteOf(record, event); break;
        case EventKind::Message:
            if (record.messages != nullptr) {
                std::fputs(event.message.text, record.messages);
                record.messagesPrinted++;
            }
            break;
        case EventKind::FileLeft:
        case EventKind::Origin: break;
    }
}

void endMessages(const Record& record) {
    if (record.messages != nullptr && record.messagesPrinted > 0) std::fputc('\n', record.messages);
}

SourceResult recordSource(AsmState& st, Record& record, const char* sourceName, bool bothPasses) {
    st.observer = recordEvent;
    st.observerContext = &record;
    return assembleSilently(st, sourceName, bothPasses);
}

}  // namespace qvek
