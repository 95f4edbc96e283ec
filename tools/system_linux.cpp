// Linux: the port list from the kernel's copy of the firmware's SMBIOS
// table, the files the library reads, in the same order; and writing a file
// atomically.
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/linux/smbios_device.h"
#include "system.h"

using tesmaron::linux_platform::DMI_ENTRIES_ROOT;
using tesmaron::linux_platform::DMI_TABLE_PATH;

namespace {

bool Denied(int error) { return error == EACCES || error == EPERM; }

std::string NeedsRoot(const std::string &path) { return "reading " + path + " needs root (permission denied)"; }

// Kernels before 4.2 show only one folder per structure: the first port
// structure is entries/209-0/raw, the formatted area and its strings.
PortList EntriesPorts() {
    const std::string root = DMI_ENTRIES_ROOT;
    struct stat info;
    if (stat(root.c_str(), &info) != 0) {
        return Unreadable(std::string("the kernel exposes no firmware tables (neither ") + DMI_TABLE_PATH + " nor " +
                          root + " is there)");
    }
    const std::string raw = root + "/209-0/raw";
    std::vector<uint8_t> structure;
    const int error = ReadFileBytes(raw, structure);
    if (error == ENOENT)
        return Listed({}, "the firmware lists no embedded network ports (" + root + "/209-0 is absent)");
    if (Denied(error)) return Unreadable(NeedsRoot(raw));
    if (error != 0) return Unreadable(raw + ": " + FileError(error));
    if (structure.size() < tesmaron::PORT_STRUCTURE_HEADER_SIZE || structure[1] > structure.size()) {
        return Unreadable(raw + " is cut short: " + std::to_string(structure.size()) +
                          " bytes, fewer than the structure's formatted area");
    }
    return Listed(PortsOf(tesmaron::PortTableOf(structure.data())),
                  "the firmware's list of embedded network ports (" + raw + ") holds none");
}

}  // namespace

PortList MachinePorts() {
    std::vector<uint8_t> table;
    const int error = ReadFileBytes(DMI_TABLE_PATH, table);
    if (error == ENOENT) return EntriesPorts();
    if (Denied(error)) return Unreadable(NeedsRoot(DMI_TABLE_PATH));
    if (error != 0) return Unreadable(std::string(DMI_TABLE_PATH) + ": " + FileError(error));
    return PortsFromTable(table.data(), table.size(), DMI_TABLE_PATH);
}

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
