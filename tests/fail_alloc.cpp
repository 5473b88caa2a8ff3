// Preloaded into the inspector to make its Nth large allocation fail, as an
// exhausted machine would: QVEK_FAIL_LARGE_ALLOC=N. Everything else comes
// from the C library's own allocator, which also frees it.
#include <cerrno>
#include <cstddef>
#include <cstdlib>

extern "C" void* __libc_malloc(size_t size);

namespace {

constexpr size_t kLarge = 128 * 1024;  // the inspector's records, not the C++ library's own pool
long largeLeft = -1;                   // large allocations before the one that fails; 0 = none fails

}  // namespace

extern "C" void* malloc(size_t size) {
    if (largeLeft < 0) {
        const char* n = std::getenv("QVEK_FAIL_LARGE_ALLOC");
        largeLeft = n != nullptr ? std::atol(n) : 0;
    }
    if (size >= kLarge && largeLeft > 0 && --largeLeft == 0) {
        errno = ENOMEM;
        return nullptr;
    }
    return __libc_malloc(size);
}
