#include "diag/codes.h"

namespace qvek::diag {

const std::vector<CodeInfo>& codeTable() {
    static const std::vector<CodeInfo> table = {
#define QVEK_DIAG_ENTRY(name, code, switchName, level, summary) {code, switchName, Level::level, summary},
        QVEK_DIAG_CODES(QVEK_DIAG_ENTRY)
#undef QVEK_DIAG_ENTRY
    };
    return table;
}

const CodeInfo& infoOf(Code code) { return codeTable()[static_cast<size_t>(code)]; }

}  // namespace qvek::diag
