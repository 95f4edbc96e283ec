// What tesmaron-ports asks of the operating system beyond the library: the
// interface names of a PCI function, and why no port was found. One file per
// platform implements it: system_linux.cpp, system_windows.cpp.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

struct PciAddress {
    uint32_t bus, device, function;
};

// The system's names for the network interfaces of one PCI function (Linux:
// eno1; Windows: the connection name, "Ethernet 2"), sorted; empty when it
// has none.
std::vector<std::string> InterfaceNames(const PciAddress &address);

// Why the library found no port, as far as the tool can tell: one phrase.
std::string NoPortsReason();

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
