// What the fuzzers of whole programs share: a private folder on a tmpfs in
// which each input builds a small tree of files, snapshots of that tree to
// hold a run to what it may change, the standard streams captured while a
// program's entry point runs in-process, and a check for descriptors left
// open. Used by program_fuzzer.cpp and dump_fuzzer.cpp only.
#pragma once

#include <dirent.h>
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <string>
#include <vector>

namespace fuzzing {

[[noreturn]] inline void fail(const char* what) {
    std::fprintf(stderr, "fuzzer: %s\n", what);
    std::abort();
}

// An input ends with this many bytes that choose the command line; the text
// before them holds the files. A seed gets as many zero bytes behind it, the
// first choice of each.
constexpr size_t kControlBytes = 16;

inline size_t controlSize(size_t size) { return size < kControlBytes ? size : kControlBytes; }

// The files of an input: the text between separators, at most max parts.
inline std::vector<std::string> splitParts(const std::string& text, size_t max) {
    static const std::string separator = "\n@@@@\n";
    std::vector<std::string> parts;
    size_t from = 0;
    while (parts.size() + 1 < max) {
        const size_t at = text.find(separator, from);
        if (at == std::string::npos) break;
        parts.push_back(text.substr(from, at - from));
        from = at + separator.size();
    }
    parts.push_back(text.substr(from));
    parts.resize(max);
    return parts;
}

// The lowest free descriptor: a run that leaves one open moves it.
inline int lowestFreeFd() {
    const int fd = open("/dev/null", O_RDONLY | O_CLOEXEC);
    if (fd >= 0) close(fd);
    return fd;
}

// A private folder that the runs take as their working folder.
class Folder {
  public:
    void create(const char* label) {
        const char* base = std::getenv("TMPDIR");
        struct stat info;
        if (base == nullptr || base[0] == '\0') base = stat("/dev/shm", &info) == 0 ? "/dev/shm" : "/tmp";
        std::string pattern = std::string(base) + "/" + label + ".XXXXXX";
        if (mkdtemp(pattern.data()) == nullptr) fail("mkdtemp");
        path_ = pattern;
        fd_ = open(path_.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        home_ = open(".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        if (fd_ < 0 || home_ < 0) fail("opening the folders");
    }
    // Relative names resolve in the folder while a run is inside it.
    void enter() const {
        if (fchdir(fd_) != 0) fail("fchdir");
    }
    void leave() const {
        if (fchdir(home_) != 0) fail("fchdir back");
    }
    // Empties the folder (called from inside it, or at exit).
    void clear() const { clearAt(fd_); }
    void remove() const {
        clear();
        rmdir(path_.c_str());
    }

    // Writes a file by a name relative to the folder.
    void write(const std::string& name, const std::string& bytes) const {
        const int fd = openat(fd_, name.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
        if (fd < 0) fail("creating a file");
        for (size_t done = 0; done < bytes.size();) {
            const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
            if (n <= 0) fail("writing a file");
            done += static_cast<size_t>(n);
        }
        close(fd);
    }
    void symlink(const char* to, const char* name) const {
        if (symlinkat(to, fd_, name) != 0) fail("symlink");
    }
    void hardLink(const char* to, const char* name) const {
        if (linkat(fd_, to, fd_, name, 0) != 0) fail("link");
    }
    void mkdir(const char* name) const {
        if (mkdirat(fd_, name, 0700) != 0) fail("mkdir");
    }
    void mkfifo(const char* name) const {
        if (mkfifoat(fd_, name, 0600) != 0) fail("mkfifo");
    }

    // Every entry of the folder and of its folders by relative name: a file's
    // inode, size and change time (a write changes it), "->" and a link's
    // text, or "/" for a folder.
    std::map<std::string, std::string> snapshot() const {
        std::map<std::string, std::string> entries;
        snapshotAt(fd_, "", entries);
        return entries;
    }

    // The bytes of a file in the folder; empty when there is none.
    std::string read(const std::string& name) const {
        std::string bytes;
        const int fd = openat(fd_, name.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
        if (fd < 0) return bytes;
        char buffer[65536];
        ssize_t n;
        while ((n = ::read(fd, buffer, sizeof buffer)) > 0) bytes.append(buffer, static_cast<size_t>(n));
        close(fd);
        return bytes;
    }

  private:
    /// The entries of a folder but "." and "..", read before any of them is changed.
    static std::vector<std::string> namesAt(int dirFd) {
        DIR* dir = fdopendir(dup(dirFd));
        if (dir == nullptr) fail("fdopendir");
        rewinddir(dir);  // the duplicate shares its position with dirFd
        std::vector<std::string> names;
        while (const dirent* entry = readdir(dir))
            if (std::strcmp(entry->d_name, ".") != 0 && std::strcmp(entry->d_name, "..") != 0)
                names.push_back(entry->d_name);
        closedir(dir);
        return names;
    }

    static void clearAt(int dirFd) {
        for (const std::string& name : namesAt(dirFd)) {
            if (unlinkat(dirFd, name.c_str(), 0) == 0) continue;
            const int sub = openat(dirFd, name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
            if (sub >= 0) {
                clearAt(sub);
                close(sub);
            }
            unlinkat(dirFd, name.c_str(), AT_REMOVEDIR);
        }
    }

    void snapshotAt(int dirFd, const std::string& prefix, std::map<std::string, std::string>& entries) const {
        for (const std::string& name : namesAt(dirFd)) {
            struct stat info;
            if (fstatat(dirFd, name.c_str(), &info, AT_SYMLINK_NOFOLLOW) != 0) fail("fstatat");
            const std::string path = prefix + name;
            if (S_ISLNK(info.st_mode)) {
                char to[4096];
                const ssize_t n = readlinkat(dirFd, name.c_str(), to, sizeof to);
                entries[path] = "->" + std::string(to, n > 0 ? static_cast<size_t>(n) : 0);
            } else if (S_ISDIR(info.st_mode)) {
                entries[path] = "/";
                const int sub = openat(dirFd, name.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
                if (sub < 0) fail("openat");
                snapshotAt(sub, path + "/", entries);
                close(sub);
            } else if (S_ISREG(info.st_mode)) {
                entries[path] = std::to_string(info.st_ino) + " " + std::to_string(info.st_size) + " " +
                                std::to_string(info.st_ctim.tv_sec) + "." + std::to_string(info.st_ctim.tv_nsec);
            } else {
                entries[path] = "|";  // a pipe: never read, it would wait
            }
        }
    }

    std::string path_;
    int fd_ = -1;
    int home_ = -1;
};

// Standard output or standard error, as the C library's variable names it,
// taken over by a file in memory while a program runs. The fuzzer's own
// reports and the sanitizers' go to descriptor 2 all along.
class Capture {
  public:
    explicit Capture(FILE*& stream) : stream_(stream) {}
    void create() {
        const int fd = memfd_create("capture", MFD_CLOEXEC);
        file_ = fd >= 0 ? fdopen(fd, "w+") : nullptr;
        if (file_ == nullptr) fail("memfd_create");
    }
    void start() {
        std::rewind(file_);
        if (ftruncate(fileno(file_), 0) != 0) fail("ftruncate");
        saved_ = stream_;
        stream_ = file_;
    }
    // Ends the capture; returns everything written.
    std::string stop() {
        std::fflush(file_);
        stream_ = saved_;
        std::string text;
        std::rewind(file_);
        char buffer[65536];
        size_t n;
        while ((n = std::fread(buffer, 1, sizeof buffer, file_)) > 0) text.append(buffer, n);
        std::clearerr(file_);
        return text;
    }

  private:
    FILE*& stream_;
    FILE* saved_ = nullptr;
    FILE* file_ = nullptr;
};

}  // namespace fuzzing
