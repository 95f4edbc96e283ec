// What tesmaron-ports asks of the operating system beyond the library: the
// interface names of a PCI function, and the ports when the library finds
// none. One file per platform implements it: system_linux.cpp,
// system_windows.cpp.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "ports.h"

// The system's names for the network interfaces on one PCI function (Linux:
// eno1; Windows: the connection name, "Ethernet 2"), sorted; empty when it
// has none. On Linux an interface is on the nearest PCI function above it
// in sysfs, as udev's SUBSYSTEMS=="pci" finds it: a virtio device or the
// like between the two is passed over.
std::vector<std::string> InterfaceNames(const PciAddress &address);

// The PCI function an interface is on: "" and the address, or why it is on
// none (no such interface, not on PCI, outside PCI domain 0000).
std::string InterfaceFunction(const std::string &name, PciAddress &address);

// This machine's port list, decoded by the library's own code from where the
// library reads it. Linux reads the kernel's
// copy of the firmware's SMBIOS table; Windows asks the health driver, and
// where it is not installed reads the firmware's SMBIOS table itself.
PortList MachinePorts();

// Writes text into the file at path atomically, so that a collector never
// reads half of it: into a new file in the same folder, created exclusively
// (a link planted there is never followed: the tool runs as root), then
// renamed over path. The new file is removed on every failure. Returns what
// went wrong, or nothing.
std::string WriteFileAtomically(const std::string &path, const std::string &text);

// A network adapter as SetupAPI describes it: the bus that enumerated it
// ("PCI", "USB", ...), its bus number and its address on that bus (on PCI,
// device << 16 | function), and its connection name.
struct AdapterRecord {
    std::string enumerator;
    uint32_t bus_number;
    uint32_t address;
    std::string connection_name;
};

// The connection names of the adapters at one PCI function, sorted.
std::vector<std::string> AdapterNamesAt(const std::vector<AdapterRecord> &adapters, const PciAddress &address);

// The PCI function of the adapter with a connection name: "" and the
// address, or why there is none.
std::string AdapterFunction(const std::vector<AdapterRecord> &adapters, const std::string &name, PciAddress &address);
