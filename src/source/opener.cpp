#include "source/opener.h"

#include "source/files.h"

namespace qvek {

FILE* openSource(const AsmState& st, const char* name) {
    if (st.opener != nullptr) return st.opener(st.openerContext, name);
    return std::fopen(name, "r");
}

const char* kindRefused(const AsmState& st, const char* name) {
    return st.opener != nullptr ? nullptr : kindReadOnce(name);
}

}  // namespace qvek
