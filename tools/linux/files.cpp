// SPDX-License-Identifier: MIT
// Linux: standard input as it is, and --output as an administrator running
// the tool as root expects: a file replaced atomically through an exclusive
// temporary file and a rename, anything else written into as a shell's
// redirection would.
#include "tools/files.h"

#include <cerrno>
#include <climits>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <linux/magic.h>
#include <string>
#include <sys/stat.h>
#include <sys/vfs.h>
#include <unistd.h>

namespace tesmaron::tool {

// Linux never translates line ends.
void ReadStandardInputAsBytes() {}
void WriteStandardOutputAsBytes() {}

namespace {

std::string FolderOf(const std::string &path) {
    const size_t slash = path.rfind('/');
    if (slash == std::string::npos) return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

// What --output's path leads to, decided on an open descriptor, never on a
// name that may have changed since it was looked at: a regular file, or
// nothing, to be replaced (`path`); a device, a FIFO or a socket to be
// written into (`fd`, open for writing); or a reason to refuse.
struct Destination {
    enum { REPLACE, WRITE_INTO, REFUSE } how;
    std::string path;
    int fd;
    std::string reason;
};

Destination Refuse(const std::string &reason) { return {Destination::REFUSE, "", -1, reason}; }

// The file behind an O_PATH descriptor, open for writing: the same file,
// reopened through /proc; where /proc is not mounted, opened by its name
// and compared with what the descriptor holds.
int ReopenForWriting(int path_fd, const std::string &name, const struct stat &seen) {
    constexpr int FLAGS = O_WRONLY | O_APPEND | O_NOCTTY | O_CLOEXEC;
    const std::string self = "/proc/self/fd/" + std::to_string(path_fd);
    int fd = open(self.c_str(), FLAGS);
    if (fd >= 0 || errno != ENOENT) return fd;
    fd = open(name.c_str(), FLAGS | O_NOFOLLOW);
    struct stat now;
    if (fd >= 0 && (fstat(fd, &now) != 0 || now.st_dev != seen.st_dev || now.st_ino != seen.st_ino)) {
        close(fd);
        errno = EAGAIN;  // another file took its place meanwhile
        return -1;
    }
    return fd;
}

// The kind of file at the end decides: a regular file is replaced, a
// character device, a FIFO or a socket written into; a block device or a
// directory is refused. A file the process holds open (reached through
// /proc) is written into whatever it is: a shell opened it for the tool.
Destination Decide(int path_fd, const std::string &name, bool held_open) {
    struct stat info;
    if (fstat(path_fd, &info) != 0) return Refuse(std::strerror(errno));
    if (S_ISREG(info.st_mode) && !held_open) return {Destination::REPLACE, name, -1, ""};
    if (S_ISDIR(info.st_mode)) return Refuse(std::strerror(EISDIR));
    if (S_ISBLK(info.st_mode)) return Refuse("a block device, which is never written");
    const int fd = ReopenForWriting(path_fd, name, info);
    if (fd < 0) return Refuse(std::strerror(errno));
    return {Destination::WRITE_INTO, name, fd, ""};
}

// Follows the path as root may trust it: a link is followed only when the
// user the tool runs as owns it; another user's link at the path is a
// planted one, replaced and never followed, and one further along is
// refused. A followed link that leads nowhere is refused, never replaced:
// /dev/stdout with standard output closed, or without /proc, is such a
// link. Links in /proc (/dev/fd/N, a shell's >(...)) lead to files the
// process holds open and are followed by the kernel.
Destination DestinationOf(const std::string &path) {
    std::string at = path;
    for (int hop = 0; hop < 40; ++hop) {
        const int fd = open(at.c_str(), O_PATH | O_NOFOLLOW | O_CLOEXEC);
        if (fd < 0 && errno == ENOENT && hop == 0) return {Destination::REPLACE, path, -1, ""};
        if (fd < 0 && errno == ENOENT) return Refuse("a link to " + at + ", which does not exist");
        if (fd < 0) return Refuse(std::strerror(errno));
        struct stat info;
        struct statfs file_system;
        char target[PATH_MAX];
        ssize_t size = -1;
        if (fstat(fd, &info) != 0 || !S_ISLNK(info.st_mode)) {
            const Destination destination = Decide(fd, at, false);
            close(fd);
            return destination;
        }
        if (info.st_uid != geteuid()) {
            close(fd);
            if (hop == 0) return {Destination::REPLACE, path, -1, ""};
            return Refuse("it leads to " + at + ", a link that another user owns");
        }
        if (fstatfs(fd, &file_system) == 0 && file_system.f_type == PROC_SUPER_MAGIC) {
            close(fd);
            const int file = open(at.c_str(), O_PATH | O_CLOEXEC);
            if (file < 0)
                return Refuse(errno == ENOENT ? "a link to " + at + ", which leads nowhere" : std::strerror(errno));
            const Destination destination = Decide(file, at, true);
            close(file);
            return destination;
        }
        size = readlinkat(fd, "", target, sizeof(target));
        close(fd);
        if (size <= 0 || size == sizeof(target)) return Refuse(std::strerror(size < 0 ? errno : ENAMETOOLONG));
        at = target[0] == '/' ? std::string(target, size) : FolderOf(at) + "/" + std::string(target, size);
    }
    return Refuse(std::strerror(ELOOP));
}

int WriteAll(int fd, const std::string &text) {
    for (size_t done = 0; done < text.size();) {
        const ssize_t wrote = write(fd, text.data() + done, text.size() - done);
        if (wrote < 0 && errno != EINTR) return errno;
        if (wrote > 0) done += static_cast<size_t>(wrote);
    }
    return 0;
}

// As `>>` would: nothing created or renamed. Appending, so that a file
// behind /dev/stdout keeps what the shell wrote into it before.
int WriteInto(int fd, const std::string &text) {
    int error = WriteAll(fd, text);
    if (close(fd) != 0 && error == 0) error = errno;
    return error;
}

// The temporary file while it exists, for a signal that ends the tool to
// remove it: set and cleared only while the signals are blocked, so that a
// handler sees a whole name or none.
// SIGXFSZ: a file-size limit (ulimit -f) that the file runs into.
constexpr int ENDING_SIGNALS[] = {SIGINT, SIGTERM, SIGHUP, SIGXFSZ};
constexpr int ENDING_COUNT = sizeof(ENDING_SIGNALS) / sizeof(ENDING_SIGNALS[0]);
char pending_name[PATH_MAX];
volatile sig_atomic_t pending = 0;
struct sigaction ending_actions[ENDING_COUNT];

void RemoveTemporaryAndEnd(int signal) {
    if (pending) unlink(pending_name);
    std::signal(signal, SIG_DFL);
    raise(signal);  // delivered once this handler returns: the tool ends as it would have
}

sigset_t BlockEndingSignals() {
    sigset_t ending, before;
    sigemptyset(&ending);
    for (const int signal : ENDING_SIGNALS) sigaddset(&ending, signal);
    sigprocmask(SIG_BLOCK, &ending, &before);
    return before;
}

// Creates the temporary file with the handlers in place; -1 and errno when
// it cannot be made.
int CreateTemporary(const std::string &name_template) {
    const sigset_t before = BlockEndingSignals();
    struct sigaction remove {};
    remove.sa_handler = RemoveTemporaryAndEnd;
    sigemptyset(&remove.sa_mask);
    for (int i = 0; i < ENDING_COUNT; ++i) {
        sigaction(ENDING_SIGNALS[i], nullptr, &ending_actions[i]);
        // A signal the tool was started ignoring (nohup) stays ignored.
        if (ending_actions[i].sa_handler != SIG_IGN) sigaction(ENDING_SIGNALS[i], &remove, nullptr);
    }
    std::strcpy(pending_name, name_template.c_str());
    const int fd = mkostemp(pending_name, O_CLOEXEC);
    const int error = errno;
    pending = fd >= 0;
    sigprocmask(SIG_SETMASK, &before, nullptr);
    errno = error;
    return fd;
}

// Renames the temporary file over path, or removes it; the handlers go.
int FinishTemporary(const std::string &path, int error) {
    const sigset_t before = BlockEndingSignals();
    if (pending && error == 0 && rename(pending_name, path.c_str()) != 0) error = errno;
    if (pending && error != 0) unlink(pending_name);
    pending = 0;
    for (int i = 0; i < ENDING_COUNT; ++i) sigaction(ENDING_SIGNALS[i], &ending_actions[i], nullptr);
    sigprocmask(SIG_SETMASK, &before, nullptr);
    return error;
}

// A new file beside path, renamed over it, so that a collector never reads
// half of it. Hidden, and not ending in .prom: no collector takes it for a
// result; its name cut so that it stays a name the file system takes.
int Replace(const std::string &path, const std::string &text) {
    const size_t base = path.rfind('/') + 1;  // 0 when there is no folder
    const std::string name = path.substr(base).substr(0, NAME_MAX - std::strlen("..XXXXXX"));
    const std::string name_template = path.substr(0, base) + "." + name + ".XXXXXX";
    if (name_template.size() >= sizeof(pending_name)) return ENAMETOOLONG;
    const int fd = CreateTemporary(name_template);
    if (fd < 0) return errno;
    // Readable by the collector, whatever user it runs as and whatever the
    // umask.
    int error = fchmod(fd, 0644) != 0 ? errno : WriteAll(fd, text);
    if (error == 0 && fsync(fd) != 0) error = errno;
    if (close(fd) != 0 && error == 0) error = errno;
    return FinishTemporary(path, error);
}

}  // namespace

std::string WriteOutput(const std::string &path, const std::string &text) {
    const Destination destination = DestinationOf(path);
    int error = 0;
    switch (destination.how) {
        case Destination::REPLACE:
            error = Replace(destination.path, text);
            break;
        case Destination::WRITE_INTO:
            error = WriteInto(destination.fd, text);
            break;
        case Destination::REFUSE:
            return destination.reason;
    }
    return error == 0 ? "" : std::strerror(error);
}

}  // namespace tesmaron::tool
