#include "source/files.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

namespace qvek {

namespace {

FileIdentity identityFrom(const struct stat& info) {
    FileIdentity id;
    id.known = true;
    id.regular = S_ISREG(info.st_mode);
    id.device = static_cast<uint64_t>(info.st_dev);
    id.inode = static_cast<uint64_t>(info.st_ino);
    return id;
}

constexpr char kNullDevice[] = "/dev/null";

// The kind of file kindReadOnce names, from what stat or fstat said of it.
const char* kindOf(const struct stat& info) {
    if (S_ISFIFO(info.st_mode)) return "a pipe";
    if (S_ISSOCK(info.st_mode)) return "a socket";
    if (!S_ISCHR(info.st_mode) && !S_ISBLK(info.st_mode)) return nullptr;
    // The null device reads as empty every time, under any of its names.
    struct stat null;
    if (S_ISCHR(info.st_mode) && stat(kNullDevice, &null) == 0 && null.st_rdev == info.st_rdev) return nullptr;
    return "a device";
}

}  // namespace

FileIdentity identityOf(const char* name) {
    struct stat info;
    return stat(name, &info) == 0 ? identityFrom(info) : FileIdentity{};
}

FileIdentity identityOf(FILE* stream) {
    struct stat info;
    return fstat(fileno(stream), &info) == 0 ? identityFrom(info) : FileIdentity{};
}

bool sameFile(const FileIdentity& a, const FileIdentity& b) {
    return a.known && b.known && a.device == b.device && a.inode == b.inode;
}

const char* kindReadOnce(const char* name) {
    struct stat info;
    if (stat(name, &info) != 0) return nullptr;  // opening it says why not
    return kindOf(info);
}

FILE* reopenRegular(const char* name, const char** kind, FileIdentity* id) {
    *kind = nullptr;
    // Not waiting for a writer, should the name be a pipe by now, nor taking a terminal as the controlling one.
    const int fd = open(name, O_RDONLY | O_NONBLOCK | O_NOCTTY);
    if (fd < 0) return nullptr;
    struct stat info;
    FILE* stream = nullptr;
    if (fstat(fd, &info) == 0 && (*kind = kindOf(info)) == nullptr && fcntl(fd, F_SETFL, 0) == 0)
        stream = fdopen(fd, "r");
    if (stream == nullptr) {
        close(fd);
        return nullptr;
    }
    *id = identityFrom(info);
    return stream;
}

bool guardStandardDescriptors() {
    for (int fd = 0; fd <= 2; fd++) {
        if (fcntl(fd, F_GETFD) >= 0 || errno != EBADF) continue;
        // The lowest free descriptor is taken, and every lower one is open by now.
        const int null = open(kNullDevice, fd == 0 ? O_RDONLY : O_WRONLY);
        if (null != fd) {
            if (null >= 0) close(null);
            return false;
        }
    }
    return true;
}

}  // namespace qvek
