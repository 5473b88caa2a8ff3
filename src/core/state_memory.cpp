#include "core/state_memory.h"

#include <sys/mman.h>

#include <cstdint>
#include <cstdlib>

// Built with the address checks, the room nobody holds is marked unreadable
// and each block is followed by a guard, so that an overrun shows there as it
// would past a block from malloc.
#if defined(__SANITIZE_ADDRESS__)
#define QVEK_ADDRESS_CHECKS 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define QVEK_ADDRESS_CHECKS 1
#endif
#endif
#if defined(QVEK_ADDRESS_CHECKS)
#include <sanitizer/asan_interface.h>
#define QVEK_HIDE(p, size) ASAN_POISON_MEMORY_REGION(p, size)
#define QVEK_SHOW(p, size) ASAN_UNPOISON_MEMORY_REGION(p, size)
#else
#define QVEK_HIDE(p, size) ((void)(p), (void)(size))
#define QVEK_SHOW(p, size) ((void)(p), (void)(size))
#endif

namespace qvek {

namespace {

#if defined(QVEK_ADDRESS_CHECKS)
constexpr size_t kGuard = kSpareAlignment;
#else
constexpr size_t kGuard = 0;
#endif

char* alignUp(char* p, size_t alignment) {
    const auto address = reinterpret_cast<uintptr_t>(p);
    return reinterpret_cast<char*>((address + alignment - 1) & ~uintptr_t{alignment - 1});
}

}  // namespace

void* allocateBlock(AsmState& st, size_t size) noexcept {
    char* const block = st.spareTop;
    if (block != nullptr && size + kGuard <= static_cast<size_t>(st.spareEnd - block)) {
        st.spareTop = alignUp(block + size + kGuard, kSpareAlignment);  // the end is aligned: no further than it
        QVEK_SHOW(block, size);
        return block;
    }
    return std::malloc(size);
}

void releaseBlock(AsmState& st, void* block) noexcept {
    char* const p = static_cast<char*>(block);
    // Blocks come back last first, so the one released is the lowest still given out.
    if (p >= reinterpret_cast<char*>(&st + 1) && p < st.spareEnd) {
        st.spareTop = p;
        QVEK_HIDE(p, static_cast<size_t>(st.spareEnd - p));
    } else {
        std::free(block);
    }
}

void FreeAsmState::operator()(AsmState* st) const noexcept { std::free(st->memory); }

AsmStatePtr newAsmState() noexcept {
    // Twice the block's size, so that a whole block lies within on the large
    // page's boundary. calloc takes a block this large straight from the system,
    // whose pages are zero, as the tables start, and untouched until a run
    // writes them; constructing the state would write every one.
    void* const memory = std::calloc(1, 2 * kStateBlockSize);
    if (memory == nullptr) return nullptr;
    char* const block = alignUp(static_cast<char*>(memory), kStateBlockSize);
#if defined(MADV_HUGEPAGE)
    // Only advice: without large pages the block is paged as any other memory.
    madvise(block, kStateBlockSize, MADV_HUGEPAGE);
#endif
    AsmStatePtr st(reinterpret_cast<AsmState*>(block));
    static_cast<AsmFields&>(*st) = AsmFields();
    st->memory = memory;
    st->spareTop = alignUp(block + sizeof(AsmState), kSpareAlignment);
    st->spareEnd = block + kStateBlockSize;
    QVEK_HIDE(st->spareTop, static_cast<size_t>(st->spareEnd - st->spareTop));
    return st;
}

}  // namespace qvek
