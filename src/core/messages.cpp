#include "core/messages.h"

#include <cstdarg>

namespace qvek {

int warning(AsmState& st, const char* format, ...) {
    st.warningCount++;
    if (st.silent) return 0;
    va_list args;
    va_start(args, format);
    vfprintf(st.console, format, args);
    va_end(args);
    return 0;
}

int error(AsmState& st, const char* format, ...) {
    st.errorCount++;
    if (st.silent) return -1;
    va_list args;
    va_start(args, format);
    vfprintf(st.console, format, args);
    va_end(args);
    return -1;
}

void say(const AsmState& st, const char* format, ...) {
    if (st.silent) return;
    va_list args;
    va_start(args, format);
    vfprintf(st.console, format, args);
    va_end(args);
}

void dump(const AsmState& st, const char* format, ...) {
    if (!st.dumpListing) return;
    va_list args;
    va_start(args, format);
    vfprintf(st.console, format, args);
    va_end(args);
}

}  // namespace qvek
