// libFuzzer entry: the input bytes are the main source of a whole assembly,
// run in-process through runAssembly in each layout and in dump mode, every
// run on a freshly constructed AsmState whose console is a null sink.
// Nothing may outlive one input: memory is checked by the leak sanitizer,
// file descriptors below.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <type_traits>

#include "app/run.h"
#include "core/asm_state.h"

namespace {

static_assert(std::is_trivially_copyable_v<qvek::AsmState>, "a state is reset by copying its bytes");

// Upper-case names: the assembler upper-cases INC operands, so "INC MAIN.QVS"
// includes the input itself and "INC OUT.UCD" names the target.
constexpr char kSourceName[] = "MAIN.QVS";
constexpr char kTargetName[] = "OUT.UCD";

// The command lines every input is assembled with: both layouts, the second
// in dump mode and with the source appended.
const char* const kRuns[][3] = {
    {"-p", kSourceName, kTargetName},
    {"-diaMAIN.QVS", kSourceName, kTargetName},
};

std::string workFolder;  // private folder holding the source and the target
int workFd = -1;         // that folder, for fchdir
int homeFd = -1;         // the folder the fuzzer was started in
FILE* nullSink = nullptr;
qvek::AsmState* pristine = nullptr;  // as constructed, never run
qvek::AsmState* state = nullptr;     // the state each run gets, reset from pristine

int lowestFreeFd() {
    const int fd = open("/dev/null", O_RDONLY | O_CLOEXEC);
    if (fd >= 0) close(fd);
    return fd;
}

void removeWorkFolder() {
    if (workFolder.empty()) return;
    unlink((workFolder + "/" + kSourceName).c_str());
    unlink((workFolder + "/" + kTargetName).c_str());
    rmdir(workFolder.c_str());
}

// A fresh state, byte for byte (the record is trivially copyable). Allocating
// and constructing one per run costs more than the assembly under the address
// sanitizer, whose checks of the copy itself would find nothing: they stay on
// for everything the assembly does with it.
__attribute__((no_sanitize("address"))) void resetState() {
#if defined(__x86_64__)
    void* to = state;
    const void* from = pristine;
    size_t n = sizeof(qvek::AsmState);
    asm volatile("rep movsb" : "+D"(to), "+S"(from), "+c"(n) : : "memory");
#else
    *state = *pristine;
#endif
}

[[noreturn]] void fail(const char* what) {
    std::perror(what);
    std::abort();
}

bool writeSource(const uint8_t* data, size_t size) {
    const int fd = openat(workFd, kSourceName, O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    if (fd < 0) return false;
    bool ok = true;
    while (size > 0) {
        const ssize_t n = write(fd, data, size);
        if (n <= 0) {
            ok = false;
            break;
        }
        data += n;
        size -= static_cast<size_t>(n);
    }
    return close(fd) == 0 && ok;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    const char* base = std::getenv("TMPDIR");
    struct stat info;
    if (base == nullptr || base[0] == '\0') base = stat("/dev/shm", &info) == 0 ? "/dev/shm" : "/tmp";
    std::string pattern = std::string(base) + "/qvek-fuzz.XXXXXX";
    if (mkdtemp(pattern.data()) == nullptr) fail("qvek fuzzer: mkdtemp");
    workFolder = pattern;
    std::atexit(removeWorkFolder);
    workFd = open(workFolder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    homeFd = open(".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    nullSink = std::fopen("/dev/null", "w");
    // About 1.3 MB each: far too large for the stack.
    pristine = new qvek::AsmState();
    state = new qvek::AsmState();
    if (workFd < 0 || homeFd < 0 || nullSink == nullptr) fail("qvek fuzzer: setup");
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    // The lowest free descriptor is taken by anything the assembly leaves open.
    const int firstFreeFd = lowestFreeFd();
    if (!writeSource(data, size)) fail("qvek fuzzer: writing the source");
    // Include names are relative: they must resolve in the private folder, and
    // libFuzzer's own relative paths in the starting one.
    if (fchdir(workFd) != 0) fail("qvek fuzzer: fchdir");
    for (const auto& words : kRuns) {
        resetState();
        state->console = nullSink;
        qvek::runAssembly(*state, 3, words);
    }
    if (fchdir(homeFd) != 0) fail("qvek fuzzer: fchdir back");
    if (lowestFreeFd() != firstFreeFd) {
        std::fprintf(stderr, "qvek fuzzer: the assembly left a file descriptor open\n");
        std::abort();
    }
    return 0;
}
