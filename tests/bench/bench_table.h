// SPDX-License-Identifier: MIT
// A full board of 31 ports, published as the library's table, and the same
// ports as a typical caller would keep them: a vector searched with find_if.
#pragma once

#include <algorithm>
#include <cstdint>
#include <vector>

#include "portmap/port_table.h"
#include "tesmaron.h"

namespace bench {

inline constexpr uint32_t PORTS = 31;

struct Address {
    uint32_t bus, device, function;
};

// Port p (1-based) sits at bus p, device p % 32, function p % 8.
inline Address AddressOf(uint32_t port) { return {port, port % 32, port % 8}; }
inline constexpr Address MISSING = {200, 3, 5};

inline void PublishFullTable() {
    static tesmaron::PortEntry entries[PORTS];
    for (uint32_t p = 1; p <= PORTS; ++p) {
        const Address a = AddressOf(p);
        entries[p - 1] = {static_cast<uint8_t>(a.device << 3 | a.function), static_cast<uint8_t>(a.bus), {}};
    }
    tesmaron::PublishPortTable(PORTS, entries);
}

inline const std::vector<Address> &BaselinePorts() {
    static const std::vector<Address> ports = [] {
        std::vector<Address> v;
        for (uint32_t p = 1; p <= PORTS; ++p) v.push_back(AddressOf(p));
        return v;
    }();
    return ports;
}

// The same two questions, answered the way a caller might write them.
[[gnu::noinline]] inline uint32_t BaselineLookupByPCIAddress(uint32_t bus, uint32_t device, uint32_t function,
                                                             uint32_t *port_out) {
    const std::vector<Address> &ports = BaselinePorts();
    const auto it = std::find_if(ports.begin(), ports.end(), [&](const Address &a) {
        return a.bus == bus && a.device == device && a.function == function;
    });
    *port_out = it == ports.end() ? 0 : static_cast<uint32_t>(it - ports.begin() + 1);
    return it != ports.end();
}

[[gnu::noinline]] inline uint32_t BaselineLookupByPortNumber(uint32_t *bus_out, uint32_t *device_out,
                                                             uint32_t *function_out, uint32_t port) {
    const std::vector<Address> &ports = BaselinePorts();
    if (port == 0 || port > ports.size()) return 0;
    const Address &a = ports[port - 1];
    *bus_out = a.bus;
    *device_out = a.device;
    *function_out = a.function;
    return 1;
}

}  // namespace bench
