// The warnings the assembler does not give, each certain from the source and
// its assembly alone: nibbles written over after ORG PGM moved back, names
// defined and never used, names defined twice, LPP of a slot no PAT fills, a
// numeric jump target where no statement starts. Writes only the Collector given.
#pragma once

#include <vector>

#include "diag/historical.h"

namespace qvek::diag {

/// Tells whether a warning of the engine's own is switched on.
using WarningEnabled = bool (*)(const CheckOptions& options, Code code);

/// Adds one group per warning that is switched on.
void addEngineWarnings(const Gathered& g, WarningEnabled enabled, Collector& c);

}  // namespace qvek::diag
