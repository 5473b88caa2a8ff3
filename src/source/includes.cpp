#include "source/includes.h"

#include "core/symbols.h"

namespace qvek {

// Only the levels in use are moved: the entries beyond includeDepth are never
// read, and a name is copied by its length rather than its field's capacity.

int pushInclude(AsmState& st, const char* name) {
    if (st.includeDepth >= kMaxIncludeDepth) return -1;
    for (uint32_t i = st.includeDepth + 1; i > 0; i--) {
        copyText(st.includeNames[i], kPathBufferSize, st.includeNames[i - 1]);
        st.savedLines[i] = st.savedLines[i - 1];
    }
    copyText(st.includeNames[0], kPathBufferSize, name);
    st.savedLines[0] = st.currentLine;
    st.currentLine = 0;
    return static_cast<int>(++st.includeDepth);
}

int popInclude(AsmState& st) {
    if (st.includeDepth == 0) return -1;
    st.currentLine = st.savedLines[0];
    for (uint32_t i = 0; i < st.includeDepth; i++) {
        copyText(st.includeNames[i], kPathBufferSize, st.includeNames[i + 1]);
        st.savedLines[i] = st.savedLines[i + 1];
    }
    return static_cast<int>(--st.includeDepth);
}

}  // namespace qvek
