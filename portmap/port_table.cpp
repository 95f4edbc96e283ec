#include "port_table.h"

#include "tesmaron.h"

namespace tesmaron {

// Static zero: empty until the attach sequence publishes a table.
PortTable port_table;

void ResetPortTable() {
    port_table.entry_count = 0;
    port_table.entries = nullptr;
}

void PublishPortTable(uint32_t entry_count, const PortEntry *entries) {
    port_table.entry_count = entry_count;
    port_table.entries = entries;
}

}  // namespace tesmaron

using tesmaron::port_table;

extern "C" uint32_t TESMARON_CALL LookupByPCIAddress(uint32_t bus, uint32_t device,
                                                     uint32_t function,
                                                     uint32_t *port_out) {
    // A NULL out-pointer would crash the caller's process; answer "not found".
    if (port_out == nullptr) return 0;
    *port_out = 0;

    // Wide arguments are cut to the bits a PCI address has, as the firmware
    // stores them: devfn = device * 8 + function in one byte, bus in another.
    const uint8_t key = static_cast<uint8_t>((device << 3) | (function & 7u));
    const uint8_t bus_byte = static_cast<uint8_t>(bus);

    const tesmaron::PortEntry *entries = port_table.entries;
    const uint32_t count = port_table.entry_count;
    for (uint32_t i = 0; i < count; ++i) {
        if (entries[i].devfn == key && entries[i].bus == bus_byte) {
            *port_out = i + 1;  // the first match wins
            return 1;
        }
    }
    return 0;
}

extern "C" uint32_t TESMARON_CALL LookupByPortNumber(uint32_t *bus_out,
                                                     uint32_t *device_out,
                                                     uint32_t *function_out,
                                                     uint32_t port) {
    if (bus_out == nullptr || device_out == nullptr || function_out == nullptr) return 0;
    // Unsigned: port 0 wraps to the largest value and fails with every other
    // port past the end, including those a signed caller would call negative.
    if (port - 1u >= port_table.entry_count) return 0;

    const tesmaron::PortEntry &entry = port_table.entries[port - 1u];
    *bus_out = entry.bus;
    *device_out = static_cast<uint32_t>(entry.devfn >> 3);
    *function_out = static_cast<uint32_t>(entry.devfn & 7u);
    return 1;
}
