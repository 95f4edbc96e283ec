// SPDX-License-Identifier: MIT
// The port table's state and the two exported lookups over it: a walk of at
// most 31 entries in memory, no I/O, no allocation, no lock.
#include "port_table.h"

#include <algorithm>
#include <cstdint>
#include <cstring>

#include "tesmaron.h"

namespace tesmaron {

// Static zero: empty until the attach sequence publishes a table.
PortTable port_table;

#ifdef __ELF__
const uint8_t *port_numbers;

void PublishPortNumbers(const uint8_t *numbers) { port_numbers = numbers; }
#endif

void ResetPortTable() {
    port_table.entry_count = 0;
    port_table.entries = nullptr;
#ifdef __ELF__
    port_numbers = nullptr;
#endif
}

void PublishPortTable(uint32_t entry_count, const PortEntry *entries) {
    port_table.entry_count = entry_count;
    port_table.entries = entries;
}

}  // namespace tesmaron

using tesmaron::port_table;

// ELF builds hide every symbol by default; the lookups are the interface.
// On Windows the .def file names the exports.
#ifdef __ELF__
#define TESMARON_EXPORT __attribute__((visibility("default")))
#else
#define TESMARON_EXPORT
#endif

namespace {

// An entry's first two bytes, devfn then bus, read as one little-endian
// 16-bit word: a whole PCI address compared in one step.
inline uint16_t AddressWord(const tesmaron::PortEntry &entry) {
    uint16_t word;
    std::memcpy(&word, &entry, sizeof(word));
    return word;
}

// Entry i (from 0) is port i + 1; the first match wins. (On Linux, with
// type-41 numbers, entry i is the port the firmware numbers so; the entries
// are in the order of their numbers, so the first is still the lowest.)
inline uint32_t Found(uint32_t *port_out, const tesmaron::PortEntry *entries, const tesmaron::PortEntry *match) {
#ifdef __ELF__
    if (tesmaron::port_numbers != nullptr) {
        *port_out = tesmaron::port_numbers[match - entries];
        return 1;
    }
#endif
    *port_out = static_cast<uint32_t>(match - entries) + 1;
    return 1;
}

#ifdef __ELF__
// LookupByPortNumber with type-41 numbers: the one entry numbered `port`;
// none where none is, or where the firmware gives two enabled entries one
// number (neither is the answer, as tesmaron-ports says).
__attribute__((noinline)) uint32_t ByNumber(uint32_t *bus_out, uint32_t *device_out, uint32_t *function_out,
                                            uint32_t port) {
    const tesmaron::PortEntry *found = nullptr;
    for (uint32_t i = 0; i < port_table.entry_count; ++i) {
        if (tesmaron::port_numbers[i] != port) continue;
        if (found != nullptr) return 0;
        found = &port_table.entries[i];
    }
    if (found == nullptr || bus_out == nullptr || device_out == nullptr || function_out == nullptr) return 0;
    const uint32_t devfn = found->devfn, bus = found->bus;
    *bus_out = bus;
    *device_out = devfn >> 3;
    *function_out = devfn & 7u;
    return 1;
}
#endif

}  // namespace

extern "C" TESMARON_EXPORT uint32_t TESMARON_CALL LookupByPCIAddress(uint32_t bus, uint32_t device, uint32_t function,
                                                                     uint32_t *port_out) {
    // A NULL out-pointer would crash the caller's process; answer "not found".
    if (port_out == nullptr) return 0;
    *port_out = 0;

    // Wide arguments are cut to the bits a PCI address has, as the firmware
    // stores them: devfn = device * 8 + function in one byte, bus in the next.
    const uint8_t devfn = static_cast<uint8_t>((device << 3) | (function & 7u));
    const uint16_t key = static_cast<uint16_t>(devfn | (bus & 0xFFu) << 8);

    const tesmaron::PortEntry *entries = port_table.entries;
    const uint32_t count = port_table.entry_count;
    // Four entries a step: a miss walks all 31 entries, and a loop's own
    // bookkeeping per entry would cost as much as the comparison. The port
    // number is worked out only once found.
    const tesmaron::PortEntry *entry = entries;
    const tesmaron::PortEntry *const end = entries + count;
    for (const tesmaron::PortEntry *const end4 = entries + (count & ~3u); entry != end4; entry += 4) {
        if (AddressWord(entry[0]) == key) return Found(port_out, entries, entry);
        if (AddressWord(entry[1]) == key) return Found(port_out, entries, entry + 1);
        if (AddressWord(entry[2]) == key) return Found(port_out, entries, entry + 2);
        if (AddressWord(entry[3]) == key) return Found(port_out, entries, entry + 3);
    }
    for (; entry != end; ++entry) {
        if (AddressWord(*entry) == key) return Found(port_out, entries, entry);
    }
    return 0;
}

extern "C" TESMARON_EXPORT uint32_t TESMARON_CALL LookupByPortNumber(uint32_t *bus_out, uint32_t *device_out,
                                                                     uint32_t *function_out, uint32_t port) {
#ifdef __ELF__
    if (tesmaron::port_numbers != nullptr) return ByNumber(bus_out, device_out, function_out, port);
#endif
    // Unsigned: port 0 wraps to the largest value and fails with every other
    // port past the end, including those a signed caller would call negative.
    if (port - 1u >= port_table.entry_count) return 0;
    // A NULL out-pointer would crash the caller's process; answer "not found".
    // One test for all three: the lowest address is null when any one is.
    const uintptr_t lowest = std::min({reinterpret_cast<uintptr_t>(bus_out), reinterpret_cast<uintptr_t>(device_out),
                                       reinterpret_cast<uintptr_t>(function_out)});
    if (lowest == 0) return 0;

    // Read before writing: the outputs could alias the entry for all the
    // compiler knows, and it would read the entry again after each store.
    const tesmaron::PortEntry &entry = port_table.entries[port - 1u];
    const uint32_t devfn = entry.devfn;
    const uint32_t bus = entry.bus;
    *bus_out = bus;
    *device_out = devfn >> 3;
    *function_out = devfn & 7u;
    return 1;
}
