// Linux: interface names from sysfs; and why the library found no port, read
// from the same firmware files it reads, in the same order.
#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/linux/smbios_device.h"
#include "system.h"

using tesmaron::linux_platform::DMI_ENTRIES_ROOT;
using tesmaron::linux_platform::DMI_TABLE_PATH;

std::vector<std::string> InterfaceNames(const PciAddress &address) {
    // The firmware's list has no PCI domain: its ports are in domain 0000.
    char path[64];
    std::snprintf(path, sizeof(path), "/sys/bus/pci/devices/0000:%02x:%02x.%x/net", address.bus, address.device,
                  address.function);
    std::vector<std::string> names;
    DIR *dir = opendir(path);
    if (dir == nullptr) return names;
    while (const dirent *entry = readdir(dir)) {
        if (entry->d_name[0] != '.') names.emplace_back(entry->d_name);
    }
    closedir(dir);
    std::sort(names.begin(), names.end());
    return names;
}

namespace {

bool Denied(int error) { return error == EACCES || error == EPERM; }

// Kernels before 4.2 show only one folder per structure.
std::string EntriesReason() {
    const std::string root = DMI_ENTRIES_ROOT;
    struct stat info;
    if (stat(root.c_str(), &info) != 0) {
        return std::string("the kernel exposes no firmware tables (neither ") + DMI_TABLE_PATH + " nor " + root +
               " is there)";
    }
    const std::string raw = root + "/209-0/raw";
    const int fd = open(raw.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0 && errno == ENOENT) {
        return "the firmware lists no embedded network ports (" + root + "/209-0 is absent)";
    }
    if (fd < 0 && Denied(errno)) return "reading " + raw + " needs root (permission denied)";
    if (fd < 0) return raw + ": " + std::strerror(errno);
    close(fd);
    return "the firmware's list of embedded network ports (" + raw + ") holds none";
}

std::string NoPortsReason() {
    std::vector<uint8_t> table;
    const int error = ReadFileBytes(DMI_TABLE_PATH, table);
    if (error == ENOENT) return EntriesReason();
    if (Denied(error)) return std::string("reading ") + DMI_TABLE_PATH + " needs root (permission denied)";
    if (error != 0) return std::string(DMI_TABLE_PATH) + ": " + FileError(error);
    const PortList listed = PortsFromTable(table.data(), table.size(), DMI_TABLE_PATH);
    if (!listed.ports.empty()) {
        return std::string(DMI_TABLE_PATH) + " lists " + std::to_string(listed.ports.size()) +
               " ports, yet the library read none";
    }
    return listed.reason;
}

}  // namespace

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

PortList MachinePorts() {
    PortList list = LibraryPorts();
    if (list.ports.empty()) list.reason = NoPortsReason();
    return list;
}
