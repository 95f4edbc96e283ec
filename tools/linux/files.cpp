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

namespace {

std::string FolderOf(const std::string &path) {
    const size_t slash = path.rfind('/');
    if (slash == std::string::npos) return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

// A link in /proc names a file the process holds open: /dev/stdout,
// /dev/fd/N, a shell's >(...) lead there, whatever is open behind them.
bool LeadsThroughProc(std::string path) {
    for (int hop = 0; hop < 40; ++hop) {
        struct stat info;
        if (lstat(path.c_str(), &info) != 0 || !S_ISLNK(info.st_mode)) return false;
        const std::string folder = FolderOf(path);
        struct statfs file_system;
        if (statfs(folder.c_str(), &file_system) == 0 && file_system.f_type == PROC_SUPER_MAGIC) return true;
        char target[PATH_MAX];
        const ssize_t size = readlink(path.c_str(), target, sizeof(target));
        if (size <= 0 || size == sizeof(target)) return false;
        path = target[0] == '/' ? std::string(target, size) : folder + "/" + std::string(target, size);
    }
    return false;
}

// How the --output path is written: a regular file, or nothing, is replaced
// (a link found there too, its target left as it is: a planted link is
// never followed); a device, a FIFO, a socket, or a file the process holds
// open is written into; a directory is refused.
enum class Destination { REPLACE, WRITE_INTO, DIRECTORY };

Destination DestinationOf(const std::string &path) {
    struct stat info;
    if (lstat(path.c_str(), &info) != 0 || S_ISREG(info.st_mode)) return Destination::REPLACE;
    if (S_ISDIR(info.st_mode)) return Destination::DIRECTORY;
    if (!S_ISLNK(info.st_mode) || LeadsThroughProc(path)) return Destination::WRITE_INTO;
    if (stat(path.c_str(), &info) != 0 || S_ISREG(info.st_mode)) return Destination::REPLACE;
    return S_ISDIR(info.st_mode) ? Destination::DIRECTORY : Destination::WRITE_INTO;
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
int WriteInto(const std::string &path, const std::string &text) {
    const int fd = open(path.c_str(), O_WRONLY | O_APPEND | O_NOCTTY | O_CLOEXEC);
    if (fd < 0) return errno;
    int error = WriteAll(fd, text);
    if (close(fd) != 0 && error == 0) error = errno;
    return error;
}

// The temporary file while it exists, for a signal that ends the tool to
// remove it: set and cleared only while the signals are blocked, so that a
// handler sees a whole name or none.
constexpr int ENDING_SIGNALS[] = {SIGINT, SIGTERM, SIGHUP};
char pending_name[PATH_MAX];
volatile sig_atomic_t pending = 0;
struct sigaction ending_actions[3];

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
    for (int i = 0; i < 3; ++i) {
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
    for (int i = 0; i < 3; ++i) sigaction(ENDING_SIGNALS[i], &ending_actions[i], nullptr);
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
    int error = 0;
    switch (DestinationOf(path)) {
        case Destination::REPLACE:
            error = Replace(path, text);
            break;
        case Destination::WRITE_INTO:
            error = WriteInto(path, text);
            break;
        case Destination::DIRECTORY:
            error = EISDIR;
            break;
    }
    return error == 0 ? "" : std::strerror(error);
}

}  // namespace tesmaron::tool
