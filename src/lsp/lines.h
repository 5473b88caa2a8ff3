// The language server reads tokens where the source layer finds them
// (source/token_spans.h); the names stay at hand in its own namespace.
#pragma once

#include "source/token_spans.h"

namespace qvek::lsp {

using qvek::commentStart;
using qvek::Span;
using qvek::tokenSpans;

}  // namespace qvek::lsp
