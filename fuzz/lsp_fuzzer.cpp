// libFuzzer entry: the input bytes are what an editor writes to qvek-lsp,
// framed or not, handed to a fresh server in pieces of varying size; every
// assembly it schedules is run. Its answers go nowhere. INC names resolve in
// a private folder holding the example's include files.
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "lsp/server.h"

namespace {

std::string root;  // the workspace folder every server is given

void removeRoot() { std::filesystem::remove_all(root); }

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    root = (std::filesystem::temp_directory_path() / ("qvek-lsp-fuzz-" + std::to_string(getpid()))).string();
    std::filesystem::create_directories(root);
    std::atexit(removeRoot);
    std::ofstream(root + "/COMMON.INC") << "DEF #ONE 1\nDEF #TWO #ONE OR 2\n#SUB RET\n";
    std::ofstream(root + "/SELF.INC") << "INC SELF.INC\n";
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    qvek::lsp::Server server([](const std::string&) {}, root);
    // The first byte sets the size of the pieces the rest arrives in, as reads cut it.
    const size_t piece = size > 0 ? 1 + data[0] * 16u : 1;
    for (size_t at = size > 0 ? 1 : 0; at < size && !server.exited(); at += piece) {
        server.receive(reinterpret_cast<const char*>(data) + at, std::min(piece, size - at));
        server.flush();
    }
    return 0;
}
