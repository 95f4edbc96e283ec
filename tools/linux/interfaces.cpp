// Linux: which PCI function each network interface is on, read from sysfs.
// An interface's folder lies below its device's, and that below its
// parents': the nearest parent whose subsystem is pci is its function, as
// udev's SUBSYSTEMS=="pci" finds it. A virtio device, or any other, between
// the function and net/ is passed over.
#include "tools/interfaces.h"

#include <algorithm>
#include <climits>
#include <cstdlib>
#include <dirent.h>
#include <string>
#include <unistd.h>

namespace tesmaron::tool {

namespace {

constexpr char NET_CLASS[] = "/sys/class/net";

struct NetInterface {
    std::string name;
    std::string function;  // "0000:03:00.0", or "" when on no PCI function
};

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

// Every interface, read once: a run asks for each port's.
const std::vector<NetInterface> &NetInterfaces() {
    static const std::vector<NetInterface> interfaces = [] {
        std::vector<NetInterface> found;
        if (DIR *dir = opendir(NET_CLASS)) {
            while (const dirent *entry = readdir(dir)) {
                if (entry->d_name[0] != '.') found.push_back({entry->d_name, NearestPciFunction(entry->d_name)});
            }
            closedir(dir);
        }
        std::sort(found.begin(), found.end(), [](const auto &a, const auto &b) { return a.name < b.name; });
        return found;
    }();
    return interfaces;
}

// "0000:03:00.0" in domain 0000, the only one the firmware's list names.
bool InDomainZero(const std::string &function, PciAddress &address) {
    uint32_t domain = 0;
    return std::count(function.begin(), function.end(), ':') == 2 &&
           ParsePciAddress(function.c_str(), address, domain) && domain == 0;
}

}  // namespace

std::vector<std::string> InterfaceNames(const PciAddress &address) {
    std::vector<std::string> names;
    PciAddress at;
    for (const NetInterface &interface : NetInterfaces()) {
        if (InDomainZero(interface.function, at) && at == address) names.push_back(interface.name);
    }
    return names;
}

std::string InterfaceFunction(const std::string &name, PciAddress &address) {
    for (const NetInterface &interface : NetInterfaces()) {
        if (interface.name != name) continue;
        if (interface.function.empty()) return "interface " + name + " is on no PCI function";
        if (!InDomainZero(interface.function, address)) {
            return "interface " + name + " is on PCI function " + interface.function +
                   ", outside the domain 0000 that the firmware's port list names";
        }
        return "";
    }
    return "there is no network interface " + name + " (" + NET_CLASS + " lists none of that name)";
}

}  // namespace tesmaron::tool
