// Where the passes get their source streams: from the state's opener when a
// tool has set one (an editor's unsaved text), otherwise from disk by name.
// Writes nothing in AsmState.
#pragma once

#include <cstdio>

#include "core/asm_state.h"

namespace qvek {

/// Opens a source file for reading through st.opener, or from disk when none is set; null when it cannot.
FILE* openSource(const AsmState& st, const char* name);

}  // namespace qvek
