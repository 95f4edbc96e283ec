// SPDX-License-Identifier: MIT
// tesmaron_port_id: the embedded port a PCI function is, for udev.
//
//   tesmaron_port_id 0000:03:00.0 [DEV_PORT]
//
// prints TESMARON_PORT=<n> when the machine's ports name port n at that
// function: exactly what LookupByPCIAddress answers (the lowest, when
// several ports share it), from the library as every program loads it (a
// type-209 list where it names this machine's PCI functions, else the
// type-41 Ethernet entries, numbered as the firmware numbers them). With
// DEV_PORT (the interface's dev_port, as udev's $attr{dev_port} gives it),
// several ports at one function are told apart as the kernel numbers the
// function's interfaces: the port of that rank among them, where the
// function has as many interfaces as ports; where it has not, none (which
// is which cannot be told).
// Prints nothing when no port is there, no list could be read, the
// function is in another PCI domain than 0000 (a VMD domain, 10000 and up):
// the firmware's list names domain 0000 only; or it is 0000:00:00.0, the
// host bridge, where the list puts only the ports it marks disabled. Exits 0 either way: an
// interface on no port is no failure of its udev event. 2, with the usage,
// only when it is not given one PCI function's name.
//
// udev runs it once per network interface at boot, as root: it links the
// library and the C library and nothing else, and reads nothing of its own
// but, where several ports share a function, that function's net/ folder.
#include <dirent.h>
#include <stdio.h>
#include <stdlib.h>

#include "tesmaron.h"

namespace {

int HexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// Exactly `digits` hex digits, then `end`.
bool Field(const char *&at, int digits, char end, uint32_t &value) {
    value = 0;
    for (int i = 0; i < digits; ++i, ++at) {
        if (HexDigit(*at) < 0) return false;
        value = value * 16 + static_cast<uint32_t>(HexDigit(*at));
    }
    return *at++ == end;
}

// A PCI function's kernel name, as udev's $id gives it: DDDD:BB:DD.F, the
// domain in four hex digits or more, and nothing around it.
bool ParseFunction(const char *name, bool &domain_zero, uint32_t &bus, uint32_t &device, uint32_t &function) {
    const char *at = name;
    int digits = 0;
    domain_zero = true;
    for (; HexDigit(*at) >= 0; ++at, ++digits) domain_zero = domain_zero && *at == '0';
    return digits >= 4 && *at++ == ':' && Field(at, 2, ':', bus) && Field(at, 2, '.', device) &&
           Field(at, 1, '\0', function) && device <= 0x1F && function <= 7;
}

// The interfaces in a folder's net/, and (depth 0) in the net/ of each
// device below it that is no PCI function (a virtio device): as
// tesmaron-ports counts them.
uint32_t InterfacesIn(const char *folder, int depth) {
    char path[512];
    uint32_t count = 0;
    DIR *dir = opendir(folder);
    if (dir == nullptr) return 0;
    while (const dirent *entry = readdir(dir)) {
        const char *name = entry->d_name;
        bool domain_zero = false;
        uint32_t bus = 0, device = 0, function = 0;
        if (entry->d_type != DT_DIR || name[0] == '.' || ParseFunction(name, domain_zero, bus, device, function) ||
            snprintf(path, sizeof(path), "%s/%s", folder, name) >= static_cast<int>(sizeof(path))) {
            continue;
        }
        if (depth == 0 && __builtin_strcmp(name, "net") != 0) {
            count += InterfacesIn(path, 1);
        } else if (__builtin_strcmp(name, "net") == 0) {
            if (DIR *net = opendir(path)) {
                while (const dirent *interface = readdir(net)) count += interface->d_name[0] != '.';
                closedir(net);
            }
        }
    }
    closedir(dir);
    return count;
}

uint32_t InterfacesOn(const char *function) {
    char folder[64];
    snprintf(folder, sizeof(folder), "/sys/bus/pci/devices/%s", function);
    return InterfacesIn(folder, 0);
}

// The port of rank `dev_port` among the ports at a function, in the order
// of their numbers, where the function has one interface a port; 0 and
// nothing found otherwise.
bool PortOfRank(const char *name, uint32_t bus, uint32_t device, uint32_t function, uint32_t dev_port, uint32_t &port) {
    uint32_t ports[32], count = 0;
    for (uint32_t n = 0; n < 256 && count < 32; ++n) {
        uint32_t b = 0, d = 0, f = 0;
        if (LookupByPortNumber(&b, &d, &f, n) && b == bus && d == device && f == function) ports[count++] = n;
    }
    if (count < 2) return LookupByPCIAddress(bus, device, function, &port) != 0;
    if (dev_port >= count || InterfacesOn(name) != count) return false;
    port = ports[dev_port];
    return true;
}

}  // namespace

int main(int argc, char **argv) {
    bool domain_zero = false;
    uint32_t bus = 0, device = 0, function = 0, port = 0;
    char *end = nullptr;
    const unsigned long dev_port = argc == 3 ? strtoul(argv[2], &end, 10) : 0;
    const bool ranked = argc == 3 && argv[2][0] != '\0';
    if (argc < 2 || argc > 3 || !ParseFunction(argv[1], domain_zero, bus, device, function) ||
        (ranked && (*end != '\0' || dev_port > 0xFFFF))) {
        fputs(
            "usage: tesmaron_port_id DDDD:BB:DD.F [DEV_PORT] (a PCI function, as udev's $id names it; the "
            "interface's dev_port)\n",
            stderr);
        return 2;
    }
    const bool host_bridge = bus == 0 && device == 0 && function == 0;
    if (!domain_zero || host_bridge) return 0;
    const bool found = ranked ? PortOfRank(argv[1], bus, device, function, static_cast<uint32_t>(dev_port), port)
                              : LookupByPCIAddress(bus, device, function, &port) != 0;
    if (found) printf("TESMARON_PORT=%u\n", port);
    return 0;
}
