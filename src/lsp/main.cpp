// qvek-lsp: the language server on standard input and output. Reads the
// command line, guards the standard descriptors, and runs the event loop:
// input is handled as it comes, assemblies when they fall due.
#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <string>

#include "lsp/server.h"

namespace {

constexpr size_t kReadSize = 1 << 16;

const char kUsage[] =
    "usage: qvek-lsp [--root DIR]\n"
    "       qvek-lsp -h | --help | --version\n"
    "\n"
    "The language server of the qvek assembler, speaking the Language Server\n"
    "Protocol on standard input and output. INC names are opened in DIR, or in\n"
    "the client's workspace folder, or in the current folder.\n"
    "\n"
    "  --root DIR   open INC names in DIR\n"
    "  -h, --help   print this text and exit\n"
    "  --version    print the version and exit\n";

// A closed descriptor 0, 1 or 2 would be taken by the next file opened, and
// the protocol written into it: each is held open on /dev/null instead.
void guardStandardDescriptors() {
    for (int fd = 0; fd <= 2; fd++)
        if (fcntl(fd, F_GETFD) == -1 && errno == EBADF) {
            const int opened = open("/dev/null", O_RDWR);
            if (opened >= 0 && opened != fd) close(opened);
        }
}

int millisecondsUntil(qvek::lsp::Clock::time_point t) {
    const auto wait = std::chrono::ceil<std::chrono::milliseconds>(t - qvek::lsp::Clock::now()).count();
    return wait <= 0 ? 0 : wait > 60000 ? 60000 : static_cast<int>(wait);
}

}  // namespace

int main(int argc, char** argv) {
    guardStandardDescriptors();
    std::signal(SIGPIPE, SIG_IGN);  // a client gone is a failed write, not a signal
    std::string root;
    for (int i = 1; i < argc; i++) {
        const std::string word = argv[i];
        if (word == "--root" && i + 1 < argc) {
            root = argv[++i];
        } else if (word.rfind("--root=", 0) == 0) {
            root = word.substr(7);
        } else if (word == "--stdio") {
            // Clients name the transport; standard input and output is the only one.
        } else if (word == "--version") {
            std::printf("qvek-lsp 5.0\n");
            return 0;
        } else if (word == "--help" || word == "-h") {
            std::fputs(kUsage, stdout);
            return 0;
        } else {
            std::fprintf(stderr, "qvek-lsp: unknown argument %s\n\n%s", argv[i], kUsage);
            return 2;
        }
    }

    bool outputFailed = false;
    qvek::lsp::Server server([&](const std::string& body) { outputFailed |= !qvek::lsp::writeFrame(stdout, body); },
                             root);
    static char buffer[kReadSize];
    while (!server.exited() && !outputFailed) {
        const auto due = server.nextDue();
        pollfd input{STDIN_FILENO, POLLIN, 0};
        const int ready = poll(&input, 1, due ? millisecondsUntil(*due) : -1);
        if (ready < 0 && errno != EINTR) break;
        if (ready > 0) {
            const ssize_t n = read(STDIN_FILENO, buffer, sizeof buffer);
            if (n == 0 || (n < 0 && errno != EINTR && errno != EAGAIN)) break;  // the client is gone
            if (n > 0) server.receive(buffer, static_cast<size_t>(n));
        }
        server.runDue(qvek::lsp::Clock::now());
    }
    return server.exitCode();
}
