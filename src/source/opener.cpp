#include "source/opener.h"

namespace qvek {

FILE* openSource(const AsmState& st, const char* name) {
    if (st.opener != nullptr) return st.opener(st.openerContext, name);
    return std::fopen(name, "r");
}

}  // namespace qvek
