// Where the passes get their source streams: from the state's opener when a
// tool has set one (an editor's unsaved text), otherwise from disk by name,
// where a file that need not read the same way twice is refused.
// Writes nothing in AsmState.
#pragma once

#include <cstdio>

#include "core/asm_state.h"

namespace qvek {

/// Opens a source file for reading through st.opener, or from disk when none is set; null when it cannot.
FILE* openSource(const AsmState& st, const char* name);
/// Names the kind of file ("a pipe", "a device", "a socket") that opening from disk refuses before
/// opening it, as it need not read the same way on both passes; null when it opens. With an
/// opener, its streams are its own: it names what it refuses through openerRefuses, if set.
const char* kindRefused(const AsmState& st, const char* name);

}  // namespace qvek
