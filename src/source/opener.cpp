#include "source/opener.h"

#include "source/files.h"

namespace qvek {

FILE* openSource(const AsmState& st, const char* name) {
    if (st.opener != nullptr) return st.opener(st.openerContext, name);
    return std::fopen(name, "r");
}

const char* kindRefused(const AsmState& st, const char* name) {
    if (st.opener == nullptr) return kindReadOnce(name);
    return st.openerRefuses != nullptr ? st.openerRefuses(st.openerContext, name) : nullptr;
}

}  // namespace qvek
