// This machine's network interfaces and the PCI functions they are on: one
// source per system, linux/interfaces.cpp and windows/interfaces.cpp.
#pragma once

#include <string>
#include <vector>

#include "pci_address.h"

namespace tesmaron::tool {

// The system's names for the network interfaces on one PCI function (Linux:
// eno1; Windows: the connection name, "Ethernet 2"), sorted; empty when it
// has none. On Linux an interface is on the nearest PCI function above it
// in sysfs, as udev's SUBSYSTEMS=="pci" finds it: a virtio device or the
// like between the two is passed over.
std::vector<std::string> InterfaceNames(const PciAddress &address);

// The PCI function an interface is on: "" and the address, or why it is on
// none (no such interface, not on PCI, outside PCI domain 0000).
std::string InterfaceFunction(const std::string &name, PciAddress &address);

}  // namespace tesmaron::tool
