// SPDX-License-Identifier: MIT
// Linux: standard input as it is, and --output as an administrator running
// the tool as root expects: the path walked a component at a time from an
// open folder, a file replaced atomically through an exclusive temporary
// file and a rename in that folder, anything else written into as a
// shell's redirection would.
#include "tools/files.h"

#include <cerrno>
#include <climits>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <fcntl.h>
#include <linux/magic.h>
#include <string>
#include <sys/random.h>
#include <sys/stat.h>
#include <sys/vfs.h>
#include <unistd.h>

namespace tesmaron::tool {

// Linux never translates line ends.
void ReadStandardInputAsBytes() {}
void WriteStandardOutputAsBytes() {}

std::FILE *OpenForReading(const std::string &path) { return std::fopen(path.c_str(), "rb"); }

bool StandardOutputIsTerminal() { return isatty(STDOUT_FILENO) == 1; }

namespace {

// A descriptor closed when it goes out of scope, unless taken.
struct Descriptor {
    int fd = -1;
    explicit Descriptor(int opened = -1) : fd(opened) {}
    Descriptor(const Descriptor &) = delete;
    Descriptor &operator=(const Descriptor &) = delete;
    ~Descriptor() {
        if (fd >= 0) close(fd);
    }
    void Reset(int opened) {
        if (fd >= 0) close(fd);
        fd = opened;
    }
    int Take() {
        const int taken = fd;
        fd = -1;
        return taken;
    }
};

// What --output's path leads to, decided on open descriptors, never on a
// name that may have changed since it was looked at: a regular file, or
// nothing, to be replaced (`name` in the open `folder`); a device, a FIFO
// or a socket to be written into (`fd`, open for writing); or a reason to
// refuse. The Destination owns its descriptors.
struct Destination {
    enum { REPLACE, WRITE_INTO, REFUSE } how = REFUSE;
    int folder = -1;
    std::string name;
    int fd = -1;
    std::string reason;
};

Destination Refuse(const std::string &reason) { return {Destination::REFUSE, -1, "", -1, reason}; }

// Root's files and links are trusted by every user; another user's only by
// that user.
bool Trusted(const struct stat &info) { return info.st_uid == 0 || info.st_uid == geteuid(); }

const char *KindOf(mode_t mode) {
    if (S_ISFIFO(mode)) return "a FIFO";
    if (S_ISSOCK(mode)) return "a socket";
    return "a device";
}

// The file behind an O_PATH descriptor, open for writing: the same file,
// reopened through /proc; where /proc is not mounted, opened by its name in
// its folder and compared with what the descriptor holds.
int ReopenForWriting(int path_fd, int folder, const std::string &name, const struct stat &seen) {
    constexpr int FLAGS = O_WRONLY | O_APPEND | O_NOCTTY | O_CLOEXEC;
    const std::string self = "/proc/self/fd/" + std::to_string(path_fd);
    int fd = open(self.c_str(), FLAGS);
    if (fd >= 0 || errno != ENOENT) return fd;
    fd = openat(folder, name.c_str(), FLAGS | O_NOFOLLOW);
    struct stat now;
    if (fd >= 0 && (fstat(fd, &now) != 0 || now.st_dev != seen.st_dev || now.st_ino != seen.st_ino)) {
        close(fd);
        errno = EAGAIN;  // another file took its place meanwhile
        return -1;
    }
    return fd;
}

// A socket the process holds (/dev/stdout when the journal gave the tool
// one) cannot be opened again: the descriptor it was reached by, named by
// the link's name in /proc/self/fd, is written into itself.
int HeldSocket(const std::string &name, const struct stat &seen) {
    char *end = nullptr;
    const long number = std::strtol(name.c_str(), &end, 10);
    struct stat held;
    if (name.empty() || *end != '\0' || number < 0 || number > INT_MAX || fstat(static_cast<int>(number), &held) != 0 ||
        held.st_dev != seen.st_dev || held.st_ino != seen.st_ino) {
        errno = ENXIO;
        return -1;
    }
    return fcntl(static_cast<int>(number), F_DUPFD_CLOEXEC, 0);
}

// The kind of file at the end decides: a regular file is replaced; a
// character device, a FIFO or a socket is written into when the tool's
// user owns it (another user's FIFO would make it wait for that user, or
// hand the metrics to them); a block device or a directory is refused. A
// file the process holds open (reached through /proc) is written into
// whatever it is: a shell opened it for the tool.
Destination Decide(Descriptor &file, Descriptor &folder, const std::string &name, bool held_open) {
    struct stat info;
    if (fstat(file.fd, &info) != 0) return Refuse(std::strerror(errno));
    if (S_ISREG(info.st_mode) && !held_open) return {Destination::REPLACE, folder.Take(), name, -1, ""};
    if (S_ISDIR(info.st_mode)) return Refuse(std::strerror(EISDIR));
    if (S_ISBLK(info.st_mode)) return Refuse("a block device, which is never written");
    if (!held_open && !Trusted(info)) return Refuse(std::string(KindOf(info.st_mode)) + " that another user owns");
    if (!held_open && S_ISSOCK(info.st_mode))
        return Refuse("a socket, which is written into only where the tool holds it open (/dev/stdout)");
    const int fd =
        held_open && S_ISSOCK(info.st_mode) ? HeldSocket(name, info) : ReopenForWriting(file.fd, folder.fd, name, info);
    if (fd < 0) return Refuse(std::strerror(errno));
    return {Destination::WRITE_INTO, -1, name, fd, ""};
}

// The path's names, in order; "." and ".." stay, as the kernel takes them.
std::deque<std::string> Components(const std::string &path) {
    std::deque<std::string> names;
    for (size_t at = 0; at < path.size();) {
        const size_t slash = path.find('/', at);
        const size_t end = slash == std::string::npos ? path.size() : slash;
        if (end > at) names.push_back(path.substr(at, end - at));
        at = end + 1;
    }
    return names;
}

std::string Joined(const std::string &folder, const std::string &name) {
    return folder.empty() || folder.back() == '/' ? folder + name : folder + "/" + name;
}

// Walks the path a name at a time, each opened from the folder before it
// and never followed by the kernel: a link is followed only when root or
// the user the tool runs as owns it, so that no one else can turn any
// folder along the path into another. Another user's link at the end of
// the path is a planted one, replaced and never followed; one anywhere
// before, or where a followed link leads, is refused. A followed link that
// leads nowhere is refused, never replaced: /dev/stdout with standard
// output closed, or without /proc, is such a link. Links in /proc
// (/dev/fd/N, a shell's >(...)) lead to files the process holds open and
// are followed by the kernel.
Destination DestinationOf(const std::string &path) {
    if (path.back() == '/') return Refuse("it names a folder");
    Descriptor folder(open(path.front() == '/' ? "/" : ".", O_PATH | O_DIRECTORY | O_CLOEXEC));
    if (folder.fd < 0) return Refuse(std::strerror(errno));
    std::deque<std::string> left = Components(path);
    std::string walked = path.front() == '/' ? "/" : "";
    std::string link_target;  // where the link at the end of the path, followed, led
    for (int links = 0; !left.empty();) {
        const std::string name = left.front();
        left.pop_front();
        const bool last = left.empty();
        const std::string at = Joined(walked, name);
        Descriptor file(openat(folder.fd, name.c_str(), O_PATH | O_NOFOLLOW | O_CLOEXEC));
        if (file.fd < 0 && errno == ENOENT && last && link_target.empty())
            return {Destination::REPLACE, folder.Take(), name, -1, ""};
        if (file.fd < 0 && errno == ENOENT && last)
            return Refuse("a link to " + link_target + ", which does not exist");
        if (file.fd < 0) return Refuse(std::strerror(errno));
        struct stat info;
        if (fstat(file.fd, &info) != 0) return Refuse(std::strerror(errno));
        if (S_ISDIR(info.st_mode) && !last) {
            folder.Reset(file.Take());
            walked = at;
            continue;
        }
        if (!S_ISLNK(info.st_mode)) {
            if (!last) return Refuse(at + ": " + std::strerror(ENOTDIR));
            return Decide(file, folder, name, false);
        }
        if (!Trusted(info)) {
            if (last && link_target.empty()) return {Destination::REPLACE, folder.Take(), name, -1, ""};
            return Refuse(last ? "it leads to " + at + ", a link that another user owns"
                               : at + " is a link that another user owns, which is never followed");
        }
        if (++links > 40) return Refuse(std::strerror(ELOOP));
        struct statfs file_system;
        if (fstatfs(file.fd, &file_system) == 0 && file_system.f_type == PROC_SUPER_MAGIC) {
            file.Reset(openat(folder.fd, name.c_str(), O_PATH | O_CLOEXEC));
            if (file.fd < 0)
                return Refuse(errno == ENOENT ? "a link to " + at + ", which leads nowhere" : std::strerror(errno));
            if (last) return Decide(file, folder, name, true);
            folder.Reset(file.Take());
            walked = at;
            continue;
        }
        char target[PATH_MAX];
        const ssize_t size = readlinkat(file.fd, "", target, sizeof(target));
        if (size <= 0 || size == sizeof(target)) return Refuse(std::strerror(size < 0 ? errno : ENAMETOOLONG));
        const std::string to(target, static_cast<size_t>(size));
        const std::deque<std::string> names = Components(to);
        if (last) link_target = to.front() == '/' ? to : Joined(walked, to);
        if (last && (names.empty() || to.back() == '/')) return Refuse("a link to " + link_target + ", a folder");
        left.insert(left.begin(), names.begin(), names.end());
        if (to.front() == '/') {
            folder.Reset(open("/", O_PATH | O_DIRECTORY | O_CLOEXEC));
            if (folder.fd < 0) return Refuse(std::strerror(errno));
            walked = "/";
        }
    }
    return Refuse("it names a folder");
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
char pending_name[NAME_MAX + 1];
int pending_folder = -1;
volatile sig_atomic_t pending = 0;
struct sigaction ending_actions[ENDING_COUNT];

void RemoveTemporaryAndEnd(int signal) {
    if (pending) unlinkat(pending_folder, pending_name, 0);
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

// A new file named `stem` and six random letters in the folder, created
// exclusively (never a link followed, never a file opened that was there).
int CreateNew(int folder, const std::string &stem, mode_t mode) {
    constexpr char LETTERS[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
    for (int attempt = 0; attempt < 100; ++attempt) {
        unsigned char random[6];
        if (getrandom(random, sizeof(random), 0) != sizeof(random)) return -1;
        std::string name = stem;
        for (const unsigned char byte : random) name += LETTERS[byte % (sizeof(LETTERS) - 1)];
        std::strcpy(pending_name, name.c_str());
        const int fd = openat(folder, pending_name, O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, mode);
        if (fd >= 0 || errno != EEXIST) return fd;
    }
    return -1;
}

// Creates the temporary file with the handlers in place; -1 and errno when
// it cannot be made.
int CreateTemporary(int folder, const std::string &stem, mode_t mode) {
    const sigset_t before = BlockEndingSignals();
    struct sigaction remove {};
    remove.sa_handler = RemoveTemporaryAndEnd;
    sigemptyset(&remove.sa_mask);
    for (int i = 0; i < ENDING_COUNT; ++i) {
        sigaction(ENDING_SIGNALS[i], nullptr, &ending_actions[i]);
        // A signal the tool was started ignoring (nohup) stays ignored.
        if (ending_actions[i].sa_handler != SIG_IGN) sigaction(ENDING_SIGNALS[i], &remove, nullptr);
    }
    const int fd = CreateNew(folder, stem, mode);
    const int error = errno;
    pending_folder = folder;
    pending = fd >= 0;
    sigprocmask(SIG_SETMASK, &before, nullptr);
    errno = error;
    return fd;
}

// Renames the temporary file over the name, or removes it; the handlers go.
int FinishTemporary(int folder, const std::string &name, int error) {
    const sigset_t before = BlockEndingSignals();
    if (pending && error == 0 && renameat(folder, pending_name, folder, name.c_str()) != 0) error = errno;
    if (pending && error != 0) unlinkat(folder, pending_name, 0);
    pending = 0;
    for (int i = 0; i < ENDING_COUNT; ++i) sigaction(ENDING_SIGNALS[i], &ending_actions[i], nullptr);
    sigprocmask(SIG_SETMASK, &before, nullptr);
    return error;
}

// A new file beside the name, renamed over it, so that a collector never
// reads half of it. Hidden, and not ending in .prom: no collector takes it
// for a result; its name cut so that it stays a name the file system
// takes. Its mode whatever the umask: the metrics readable by a collector
// running as another user, a dump by its owner only.
int Replace(int folder, const std::string &name, const std::string &text, FileMode mode) {
    std::string stem = ".";  // appended: GCC 12 warns wrongly of "literal" + string
    stem.append(name, 0, NAME_MAX - std::strlen("..XXXXXX")).append(".");
    const int fd = CreateTemporary(folder, stem, 0600);
    if (fd < 0) return errno;
    int error = fchmod(fd, static_cast<mode_t>(mode)) != 0 ? errno : WriteAll(fd, text);
    if (error == 0 && fsync(fd) != 0) error = errno;
    if (close(fd) != 0 && error == 0) error = errno;
    return FinishTemporary(folder, name, error);
}

}  // namespace

std::string WriteOutput(const std::string &path, const std::string &text, FileMode mode) {
    const Destination destination = DestinationOf(path);
    int error = 0;
    switch (destination.how) {
        case Destination::REPLACE:
            error = Replace(destination.folder, destination.name, text, mode);
            close(destination.folder);
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
