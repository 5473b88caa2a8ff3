// Preloaded into the inspector or the assembler to make its Nth large
// allocation fail, as an exhausted machine would: QVEK_FAIL_LARGE_ALLOC=N.
// Everything else comes from the C library's own allocator, which also frees it.
#include <cerrno>
#include <cstddef>
#include <cstdlib>

extern "C" void* __libc_malloc(size_t size);
extern "C" void* __libc_calloc(size_t count, size_t size);

namespace {

constexpr size_t kLarge = 128 * 1024;  // the inspector's records, not the C++ library's own pool
long largeLeft = -1;                   // large allocations before the one that fails; 0 = none fails

// Whether this allocation of size bytes is the one that fails.
bool failsNow(size_t size) {
    if (largeLeft < 0) {
        const char* n = std::getenv("QVEK_FAIL_LARGE_ALLOC");
        largeLeft = n != nullptr ? std::atol(n) : 0;
    }
    if (size < kLarge || largeLeft <= 0 || --largeLeft != 0) return false;
    errno = ENOMEM;
    return true;
}

}  // namespace

extern "C" void* malloc(size_t size) { return failsNow(size) ? nullptr : __libc_malloc(size); }

extern "C" void* calloc(size_t count, size_t size) {
    size_t bytes;
    // A product that overflows is the C library's to refuse.
    if (!__builtin_mul_overflow(count, size, &bytes) && failsNow(bytes)) return nullptr;
    return __libc_calloc(count, size);
}
