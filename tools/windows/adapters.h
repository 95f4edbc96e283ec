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
// device << 16 | function), and its connection name.
struct AdapterRecord {
    std::string enumerator;
    uint32_t bus_number;
    uint32_t address;
    std::string connection_name;
};

// The connection names of the adapters at one PCI function, sorted; with
// `unnamed`, a device with no connection counts too (its name "").
std::vector<std::string> AdapterNamesAt(const std::vector<AdapterRecord> &adapters, const PciAddress &address,
                                        bool unnamed = false);

// The PCI function of the adapter with a connection name: "" and the
// address, or why there is none.
std::string AdapterFunction(const std::vector<AdapterRecord> &adapters, const std::string &name, PciAddress &address);

}  // namespace tesmaron::tool
