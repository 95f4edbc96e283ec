// Linux: interface names from sysfs, and the firmware tables as the kernel
// exposes them.
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

std::string NoPortsReason() {
    const std::string root = tesmaron::linux_platform::DMI_ENTRIES_ROOT;
    struct stat info;
    if (stat(root.c_str(), &info) != 0) {
        return "the kernel does not expose the firmware tables (" + root + " is absent)";
    }
    const std::string raw = root + "/209-0/raw";
    const int fd = open(raw.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0 && errno == ENOENT) {
        return "the firmware lists no embedded network ports (" + root + "/209-0 is absent)";
    }
    if (fd < 0 && (errno == EACCES || errno == EPERM)) {
        return "reading the firmware tables needs root (" + raw + ": permission denied)";
    }
    if (fd < 0) return raw + ": " + std::strerror(errno);
    close(fd);
    return "the firmware's list of embedded network ports (" + raw + ") holds none";
}
