// SPDX-License-Identifier: MIT
// This machine's PCI functions and network interfaces: one source per
// system, linux/interfaces.cpp and windows/interfaces.cpp.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "pci_address.h"

namespace tesmaron::tool {

// Whether this machine has a PCI function; unknown (nullopt) where the
// system lists no PCI function at all (a container without /sys/bus/pci,
// Wine), which can neither confirm a port nor refute it.
std::optional<bool> PciFunctionPresent(uint32_t domain, const PciAddress &address);

// A network interface on a PCI function: the system's name for it (Linux:
// eno1; Windows: the connection name, "Ethernet 2"), and where a function
// has several, the rank the kernel gives it among them (dev_port, from 0;
// -1 where the system does not say).
struct NetInterface {
    std::string name;
    int dev_port;
};

// The network interfaces on one PCI function, by name; none when it has
// none. On Linux an interface is on the nearest PCI function above it in
// sysfs, as udev's SUBSYSTEMS=="pci" finds it: a virtio device or the like
// between the two is passed over. Only that function's folder is read, so
// that a machine with thousands of interfaces (virtual functions) costs as
// much as one with a few.
std::vector<NetInterface> InterfacesOn(uint32_t domain, const PciAddress &address);

// The PCI function an interface is on: "" and the function, or why it is
// on none (no such interface, not on PCI).
std::string InterfaceFunction(const std::string &name, uint32_t &domain, PciAddress &address);

// An interface's link as the system gives it: its operational state in the
// kernel's words ("up", "down", "lowerlayerdown", ...; "" when unknown) and
// the permanent MAC address of its hardware, where the system tells it.
struct InterfaceLink {
    std::string operstate;
    std::optional<std::array<uint8_t, 6>> permanent_mac;
};
InterfaceLink LinkOf(const std::string &name);

}  // namespace tesmaron::tool
