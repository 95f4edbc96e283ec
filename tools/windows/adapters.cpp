// SPDX-License-Identifier: MIT
// Matching Windows network adapters to a PCI function, by the bus that
// enumerated them and the address SetupAPI gives.
#include "adapters.h"

#include <algorithm>

namespace tesmaron::tool {

namespace {

// Bus numbers and addresses mean something else on every bus: a USB
// adapter's may read like a PCI function's. On PCI, the address holds the
// device number in the high word, the function in the low word.
PciAddress FunctionOf(const AdapterRecord &adapter) {
    return {adapter.bus_number, adapter.address >> 16, adapter.address & 0xFFFF};
}

}  // namespace

std::vector<std::string> AdapterNamesAt(const std::vector<AdapterRecord> &adapters, const PciAddress &address,
                                        bool unnamed) {
    std::vector<std::string> names;
    for (const AdapterRecord &adapter : adapters) {
        if (adapter.enumerator == "PCI" && FunctionOf(adapter) == address &&
            (unnamed || !adapter.connection_name.empty())) {
            names.push_back(adapter.connection_name);
        }
    }
    std::sort(names.begin(), names.end());
    return names;
}

std::string AdapterFunction(const std::vector<AdapterRecord> &adapters, const std::string &name, PciAddress &address,
                            SameName same) {
    for (const AdapterRecord &adapter : adapters) {
        if (!same(adapter.connection_name, name) && (adapter.description.empty() || !same(adapter.description, name)))
            continue;
        if (adapter.enumerator != "PCI")
            return "interface " + name + " is on no PCI function (" + adapter.enumerator + ")";
        address = FunctionOf(adapter);
        return "";
    }
    return "there is no network interface " + name;
}

}  // namespace tesmaron::tool
