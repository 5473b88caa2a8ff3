#include "core/observer.h"

namespace qvek {

AsmEvent eventAt(const AsmState& st, EventKind kind) {
    AsmEvent event{};
    event.kind = kind;
    event.pass = st.pass;
    event.file = st.includeNames[0];
    event.line = st.currentLine;
    event.depth = st.includeDepth;
    return event;
}

}  // namespace qvek
