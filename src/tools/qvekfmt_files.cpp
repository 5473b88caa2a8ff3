#include "tools/qvekfmt_files.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <vector>

namespace qvek::fmt {

namespace {

bool sameState(const struct stat& a, const struct stat& b) {
    return a.st_dev == b.st_dev && a.st_ino == b.st_ino && a.st_size == b.st_size &&
           a.st_mtim.tv_sec == b.st_mtim.tv_sec && a.st_mtim.tv_nsec == b.st_mtim.tv_nsec;
}

// What a file that is no regular one is, for a message; null for a regular file or a pipe.
const char* kindRefused(const struct stat& st) {
    if (S_ISDIR(st.st_mode)) return "is a folder";
    if (S_ISCHR(st.st_mode) || S_ISBLK(st.st_mode)) return "is a device";
    if (S_ISSOCK(st.st_mode)) return "is a socket";
    return nullptr;
}

bool failed(std::string* why, std::string text) {
    *why = std::move(text);
    return false;
}

// Reads fd to its end into text, refusing what no source is.
bool readAll(int fd, std::string& text, std::string* why) {
    std::vector<char> chunk(64 * 1024);
    size_t line = 0;  // bytes since the last line feed
    for (;;) {
        const ssize_t got = read(fd, chunk.data(), chunk.size());
        if (got < 0 && errno == EINTR) continue;
        if (got < 0) return failed(why, std::strerror(errno));
        if (got == 0) return true;
        const auto n = static_cast<size_t>(got);
        if (text.size() + n > kMaxSourceBytes)
            return failed(why, "is larger than " + std::to_string(kMaxSourceBytes >> 20) + " MiB, which no source is");
        const void* lastFeed = memrchr(chunk.data(), '\n', n);
        line = lastFeed != nullptr ? n - 1 - static_cast<size_t>(static_cast<const char*>(lastFeed) - chunk.data())
                                   : line + n;
        if (line > kMaxLineBytes)
            return failed(why, "has a line longer than " + std::to_string(kMaxLineBytes >> 20) + " MiB, which no source has");
        text.append(chunk.data(), n);
    }
}

struct Descriptor {
    int fd = -1;
    ~Descriptor() {
        if (fd > 2) close(fd);
    }
};

}  // namespace

bool readSource(const std::string& name, bool forRewrite, Source& source, std::string* why) {
    Descriptor d;
    if (name == "-") {
        d.fd = 0;
    } else {
        struct stat st;
        if (stat(name.c_str(), &st) != 0) return failed(why, std::strerror(errno));
        if (const char* kind = kindRefused(st)) return failed(why, kind);
        if (forRewrite && !S_ISREG(st.st_mode)) return failed(why, "is a pipe, which cannot be rewritten");
        d.fd = open(name.c_str(), O_RDONLY | O_NOCTTY | O_CLOEXEC);
        if (d.fd < 0) return failed(why, std::strerror(errno));
    }
    source.text.clear();
    struct stat before;
    if (fstat(d.fd, &before) != 0) return failed(why, std::strerror(errno));
    // Standard input may be one end of a pair of sockets, as some editors give the programs they run.
    if (const char* kind = kindRefused(before); kind != nullptr && !(name == "-" && S_ISSOCK(before.st_mode)))
        return failed(why, kind);
    if (S_ISREG(before.st_mode) && static_cast<size_t>(before.st_size) <= kMaxSourceBytes)
        source.text.reserve(static_cast<size_t>(before.st_size));
    if (!readAll(d.fd, source.text, why)) return false;
    if (fstat(d.fd, &source.status) != 0) return failed(why, std::strerror(errno));
    if (S_ISREG(before.st_mode) &&
        (!sameState(before, source.status) || source.text.size() != static_cast<size_t>(source.status.st_size)))
        return failed(why, "changed while it was read");
    return true;
}

bool rewriteSource(const std::string& name, const Source& source, const std::string& text, std::string* why) {
    // A link stays a link: the file it leads to is the one replaced.
    const std::unique_ptr<char, decltype(&std::free)> real(realpath(name.c_str(), nullptr), &std::free);
    if (real == nullptr) return failed(why, std::strerror(errno));
    const std::string path = real.get();
    const size_t slash = path.rfind('/');
    const std::string folder = slash == 0 ? "/" : path.substr(0, slash);
    std::string temporary = path.substr(0, slash + 1) + "." + path.substr(slash + 1) + ".qvekfmt-XXXXXX";
    const int fd = mkostemp(temporary.data(), O_CLOEXEC);
    if (fd < 0) return failed(why, "cannot write a file in its folder " + folder + ": " + std::strerror(errno));
    const auto abandon = [&](std::string message, int descriptor) {
        if (descriptor >= 0) close(descriptor);
        unlink(temporary.c_str());
        return failed(why, std::move(message));
    };
    for (size_t done = 0; done < text.size();) {
        const ssize_t put = write(fd, text.data() + done, text.size() - done);
        if (put < 0 && errno == EINTR) continue;
        if (put < 0) return abandon(std::string("cannot write its new text: ") + std::strerror(errno), fd);
        done += static_cast<size_t>(put);
    }
    // The owner is kept where the user may set it, else the group where it may; the permissions always.
    if (fchown(fd, source.status.st_uid, source.status.st_gid) != 0 &&
        fchown(fd, static_cast<uid_t>(-1), source.status.st_gid) != 0) {
        // The new file stays the user's, as any file the user writes.
    }
    if (fchmod(fd, source.status.st_mode & 07777) != 0)
        return abandon(std::string("cannot keep its permissions: ") + std::strerror(errno), fd);
    if (fsync(fd) != 0) return abandon(std::string("cannot write its new text: ") + std::strerror(errno), fd);
    if (close(fd) != 0) return abandon(std::string("cannot write its new text: ") + std::strerror(errno), -1);
    // Whatever changed the file since it was read wins: its text is not overwritten.
    struct stat now;
    if (stat(path.c_str(), &now) != 0 || !sameState(now, source.status))
        return abandon("changed while it was being formatted", -1);
    if (rename(temporary.c_str(), path.c_str()) != 0)
        return abandon(std::string("cannot replace it: ") + std::strerror(errno), -1);
    return true;
}

}  // namespace qvek::fmt
