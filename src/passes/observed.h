// What the passes tell the observer: the files they enter and leave, every
// statement line with the names it enters and looks up, and what DEF, PAT and
// ORG did. Called only when an observer is set; writes nothing in AsmState.
#pragma once

#include "core/asm_state.h"
#include "core/observer.h"
#include "passes/statement.h"

namespace qvek {

/// Tells of the file being read now (includeNames[0]): entered, or left after reading it whole or not.
void observeFile(const AsmState& st, EventKind kind, bool completed);
/// Tells of a statement line this pass has carried out, or failed at, that began at address start.
void observeStatement(const AsmState& st, const Statement& s, uint32_t start, bool completed);
/// Tells of the constant DEF has entered.
void observeConstant(const AsmState& st, uint32_t entry);
/// Tells of the word PAT has stored in a slot.
void observePattern(const AsmState& st, uint32_t slot);
/// Tells where ORG has left the origin of a segment.
void observeOrigin(const AsmState& st, Segment segment, bool ignored);

}  // namespace qvek
