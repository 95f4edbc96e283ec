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

PortList MachinePorts() {
    PortList list = LibraryPorts();
    if (list.ports.empty()) list.reason = NoPortsReason();
    return list;
}
