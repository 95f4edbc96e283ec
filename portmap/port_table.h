// The process-wide table of embedded network ports and the two operations
// that fill it. The lookups over it are the public functions of tesmaron.h.
#pragma once

#include <cstddef>
#include <cstdint>

namespace tesmaron {

// One port as the firmware's list holds it: 8 bytes, only the first two read.
struct PortEntry {
    uint8_t devfn;      // PCI device in bits 7-3, function in bits 2-0
    uint8_t bus;        // PCI bus
    uint8_t unread[6];  // carried along, read by neither lookup
};
static_assert(sizeof(PortEntry) == 8);
static_assert(alignof(PortEntry) == 1, "entries sit at odd offsets in the reply");
static_assert(offsetof(PortEntry, devfn) == 0);
static_assert(offsetof(PortEntry, bus) == 1);

// entries points at entry_count consecutive entries; port p is entries[p - 1].
struct PortTable {
    uint32_t entry_count;
    const PortEntry *entries;
};

// Written only while the library is being attached, read-only afterwards.
extern PortTable port_table;

void ResetPortTable();
void PublishPortTable(uint32_t entry_count, const PortEntry *entries);

}  // namespace tesmaron
