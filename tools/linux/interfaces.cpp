// SPDX-License-Identifier: MIT
// Linux: the machine's PCI functions, the network interfaces on one, and
// which function an interface is on, read from sysfs. An interface's folder
// lies below its device's, and that below its parents': the nearest parent
// whose subsystem is pci is its function, as udev's SUBSYSTEMS=="pci" finds
// it. A virtio device, or any other, between the function and net/ is
// passed over. Only what is asked about is read, never every interface.
#include "tools/interfaces.h"

#include <algorithm>
#include <climits>
#include <cstddef>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <fstream>
#include <linux/ethtool.h>
#include <linux/sockios.h>
#include <net/if.h>
#include <string>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

namespace tesmaron::tool {

namespace {

constexpr char NET_CLASS[] = "/sys/class/net";
constexpr char PCI_DEVICES[] = "/sys/bus/pci/devices";

// The function of an interface: its folder resolved, then up to the
// nearest folder whose subsystem is pci.
std::string NearestPciFunction(const std::string &name) {
    char resolved[PATH_MAX];
    if (realpath((std::string(NET_CLASS) + "/" + name).c_str(), resolved) == nullptr) return "";
    std::string folder = resolved;
    for (size_t slash; (slash = folder.rfind('/')) != std::string::npos && slash > 0;) {
        folder.resize(slash);
        char subsystem[PATH_MAX];
        const ssize_t size = readlink((folder + "/subsystem").c_str(), subsystem, sizeof(subsystem) - 1);
        if (size <= 0) continue;
        const std::string link(subsystem, static_cast<size_t>(size));
        if (link.substr(link.rfind('/') + 1) == "pci") return folder.substr(folder.rfind('/') + 1);
    }
    return "";
}

// "0000:03:00.0", the kernel's name of a function, read back.
bool FunctionOf(const std::string &function, uint32_t &domain, PciAddress &address) {
    return std::count(function.begin(), function.end(), ':') == 2 && ParsePciAddress(function.c_str(), address, domain);
}

// The first line of a small sysfs file, or "".
std::string FirstLine(const std::string &path) {
    std::ifstream in(path);
    std::string line;
    std::getline(in, line);
    return line;
}

// The interfaces below a function's folder: in its net/, and in a device of
// its own below it (a virtio device) that is no PCI function itself; links
// (a physical function's virtfnN, driver, subsystem) never followed.
void CollectInterfaces(const std::string &folder, int depth, std::vector<NetInterface> &found) {
    DIR *dir = opendir(folder.c_str());
    if (dir == nullptr) return;
    while (const dirent *entry = readdir(dir)) {
        const std::string name = entry->d_name;
        uint32_t domain = 0;
        PciAddress address{};
        if (entry->d_type != DT_DIR || name[0] == '.' || FunctionOf(name, domain, address)) continue;
        if (name != "net") {
            if (depth < 1) CollectInterfaces(folder + "/" + name, depth + 1, found);
            continue;
        }
        if (DIR *net = opendir((folder + "/net").c_str())) {
            while (const dirent *interface = readdir(net)) {
                if (interface->d_name[0] == '.') continue;
                const std::string dev_port = FirstLine(folder + "/net/" + interface->d_name + "/dev_port");
                found.push_back({interface->d_name, dev_port.empty() ? -1 : std::atoi(dev_port.c_str())});
            }
            closedir(net);
        }
    }
    closedir(dir);
}

bool ParseMac(const std::string &text, std::array<uint8_t, 6> &mac) {
    unsigned bytes[6];
    char end;
    if (std::sscanf(text.c_str(), "%2x:%2x:%2x:%2x:%2x:%2x%c", &bytes[0], &bytes[1], &bytes[2], &bytes[3], &bytes[4],
                    &bytes[5], &end) != 6) {
        return false;
    }
    for (int i = 0; i < 6; ++i) mac[i] = static_cast<uint8_t>(bytes[i]);
    return true;
}

// The permanent address as ethtool reads it (SIOCETHTOOL works on any
// socket, a local one included); where that cannot be asked, sysfs'
// address when addr_assign_type says it is the permanent one (0).
std::optional<std::array<uint8_t, 6>> PermanentMac(const std::string &name) {
    std::array<uint8_t, 6> mac{};
    const int fd = socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    if (fd >= 0 && name.size() < IFNAMSIZ) {
        // struct ethtool_perm_addr, whose data runs on: the command, the
        // room for the address, then the address.
        static_assert(offsetof(ethtool_perm_addr, size) == 4 && offsetof(ethtool_perm_addr, data) == 8);
        alignas(uint32_t) uint8_t asked[8 + 32] = {};
        const uint32_t command = ETHTOOL_GPERMADDR, room = 32;
        std::memcpy(asked, &command, 4);
        std::memcpy(asked + 4, &room, 4);
        ifreq request{};
        std::memcpy(request.ifr_name, name.c_str(), name.size());
        request.ifr_data = reinterpret_cast<char *>(asked);
        const bool answered = ioctl(fd, SIOCETHTOOL, &request) == 0;
        close(fd);
        uint32_t size = 0;
        std::memcpy(&size, asked + 4, 4);
        if (answered && size == mac.size()) {
            std::memcpy(mac.data(), asked + 8, mac.size());
            return mac;
        }
    } else if (fd >= 0) {
        close(fd);
    }
    const std::string folder = std::string(NET_CLASS) + "/" + name;
    if (FirstLine(folder + "/addr_assign_type") == "0" && ParseMac(FirstLine(folder + "/address"), mac)) return mac;
    return std::nullopt;
}

}  // namespace

std::optional<bool> PciFunctionPresent(uint32_t domain, const PciAddress &address) {
    // Whether the system lists any function at all: its first name will do.
    static const bool listed = [] {
        DIR *dir = opendir(PCI_DEVICES);
        bool any = false;
        while (dir != nullptr && !any) {
            const dirent *entry = readdir(dir);
            if (entry == nullptr) break;
            any = entry->d_name[0] != '.';
        }
        if (dir != nullptr) closedir(dir);
        return any;
    }();
    if (!listed) return std::nullopt;
    struct stat info;
    return stat((std::string(PCI_DEVICES) + "/" + FunctionText(domain, address)).c_str(), &info) == 0;
}

std::vector<NetInterface> InterfacesOn(uint32_t domain, const PciAddress &address) {
    std::vector<NetInterface> found;
    CollectInterfaces(std::string(PCI_DEVICES) + "/" + FunctionText(domain, address), 0, found);
    std::sort(found.begin(), found.end(), [](const NetInterface &a, const NetInterface &b) { return a.name < b.name; });
    return found;
}

std::string InterfaceFunction(const std::string &name, uint32_t &domain, PciAddress &address) {
    struct stat info;
    if (name.empty() || name.find('/') != std::string::npos || name == "." || name == ".." ||
        lstat((std::string(NET_CLASS) + "/" + name).c_str(), &info) != 0) {
        return "there is no network interface " + name + " (" + NET_CLASS + " lists none of that name)";
    }
    if (!FunctionOf(NearestPciFunction(name), domain, address)) return "interface " + name + " is on no PCI function";
    return "";
}

InterfaceLink LinkOf(const std::string &name) {
    return {FirstLine(std::string(NET_CLASS) + "/" + name + "/operstate"), PermanentMac(name)};
}

}  // namespace tesmaron::tool
