#include "core/messages.h"

#include <cstdarg>

#include "core/observer.h"

namespace qvek {

namespace {

// Formatted only for an observer, and kept apart so the common path has no buffer on its stack.
__attribute__((noinline)) void observeMessage(const AsmState& st, Severity severity, const char* format, va_list args) {
    char text[kMessageTextSize];
    vsnprintf(text, sizeof text, format, args);
    AsmEvent event = eventAt(st, EventKind::Message);
    event.message = {severity, text};
    notify(st, event);
}

}  // namespace

int warning(AsmState& st, const char* format, ...) {
    st.warningCount++;
    va_list args;
    if (st.observer != nullptr) {
        va_start(args, format);
        observeMessage(st, Severity::Warning, format, args);
        va_end(args);
    }
    if (st.silent) return 0;
    va_start(args, format);
    vfprintf(st.console, format, args);
    va_end(args);
    return 0;
}

int error(AsmState& st, const char* format, ...) {
    st.errorCount++;
    va_list args;
    if (st.observer != nullptr) {
        va_start(args, format);
        observeMessage(st, Severity::Error, format, args);
        va_end(args);
    }
    if (st.silent) return -1;
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
