// SPDX-License-Identifier: MIT
// Windows network adapters matched to PCI functions: portable, so that every
// build tests it with values recorded from SetupAPI.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "tools/pci_address.h"

namespace tesmaron::tool {

// A network adapter as SetupAPI describes it: the bus that enumerated it
// ("PCI", "USB", ...), its bus number and its address on that bus (on PCI,
// device << 16 | function), its connection name ("Ethernet 2") and its
// description ("Intel(R) Ethernet Connection X722 #2").
struct AdapterRecord {
    std::string enumerator;
    uint32_t bus_number;
    uint32_t address;
    std::string connection_name;
    std::string description{};
};

// Whether two names are one, as the system compares them (Windows: without
// regard to case, in any script).
using SameName = bool (*)(const std::string &, const std::string &);

// The connection names of the adapters at one PCI function, sorted; with
// `unnamed`, a device with no connection counts too (its name "").
std::vector<std::string> AdapterNamesAt(const std::vector<AdapterRecord> &adapters, const PciAddress &address,
                                        bool unnamed = false);

// The PCI function of the adapter with a connection name or description:
// "" and the address, or why there is none.
std::string AdapterFunction(const std::vector<AdapterRecord> &adapters, const std::string &name, PciAddress &address,
                            SameName same);

}  // namespace tesmaron::tool
