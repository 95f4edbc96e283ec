// Linux: standard input as it is, and a file replaced atomically through an
// exclusive temporary file and a rename.
#include "tools/files.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

namespace tesmaron::tool {

// Linux never translates line ends.
void ReadStandardInputAsBytes() {}

std::string WriteFileAtomically(const std::string &path, const std::string &text) {
    const size_t slash = path.rfind('/');
    const size_t base = slash == std::string::npos ? 0 : slash + 1;
    // Hidden, and not ending in .prom: no collector takes it for a result.
    std::string temporary = path.substr(0, base) + "." + path.substr(base) + ".XXXXXX";
    const int fd = mkostemp(temporary.data(), O_CLOEXEC);
    if (fd < 0) return std::strerror(errno);
    int error = 0;
    // Readable by the collector, whatever user it runs as.
    if (fchmod(fd, 0644) != 0) error = errno;
    for (size_t done = 0; error == 0 && done < text.size();) {
        const ssize_t wrote = write(fd, text.data() + done, text.size() - done);
        if (wrote < 0 && errno != EINTR) error = errno;
        if (wrote > 0) done += static_cast<size_t>(wrote);
    }
    if (error == 0 && fsync(fd) != 0) error = errno;
    if (close(fd) != 0 && error == 0) error = errno;
    if (error == 0 && rename(temporary.c_str(), path.c_str()) != 0) error = errno;
    if (error == 0) return "";
    unlink(temporary.c_str());
    return std::strerror(error);
}

}  // namespace tesmaron::tool
