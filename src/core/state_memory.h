// Where a state lives: newAsmState places it at the start of a block of its
// own, asks the system to back that block with one large page, and leaves the
// room behind the state to the passes' file buffers (allocateBlock).
#pragma once

#include <cstddef>
#include <memory>
#include <type_traits>

#include "core/asm_state.h"

namespace qvek {

// The block a state is placed in: the state with the buffers of every file it
// can have open fit in it, and it is the size of one large page, so one fault
// and one zeroed page serve a whole run where several hundred small ones would.
constexpr size_t kStateBlockSize = size_t{2} << 20;
// Each buffer block starts on a cache line.
constexpr size_t kSpareAlignment = 64;

// calloc creates a state as it creates any implicit-lifetime type, which an
// aggregate is; free runs no destructor.
static_assert(std::is_aggregate_v<AsmState> && std::is_trivially_destructible_v<AsmState>);
static_assert(sizeof(AsmState) < kStateBlockSize, "the state fits its block");

struct FreeAsmState {
    void operator()(AsmState* st) const noexcept;
};
using AsmStatePtr = std::unique_ptr<AsmState, FreeAsmState>;

/// Makes a fresh state without writing its tables; returns null when memory is short.
AsmStatePtr newAsmState() noexcept;

}  // namespace qvek
