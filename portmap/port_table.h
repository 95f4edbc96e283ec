// SPDX-License-Identifier: MIT
// The process-wide table of embedded network ports and the two operations
// that fill it. The lookups over it are the public functions of tesmaron.h.
#pragma once

#include <cstddef>
#include <cstdint>

namespace tesmaron {

// One port as the firmware's list holds it: 8 bytes, only the first two read
// by the lookups. Real firmware keeps the port's MAC address in the other
// six, in the order it is written (tesmaron-ports shows it).
struct PortEntry {
    uint8_t devfn;   // PCI device in bits 7-3, function in bits 2-0
    uint8_t bus;     // PCI bus
    uint8_t mac[6];  // carried along, read by neither lookup
};
static_assert(sizeof(PortEntry) == 8);
static_assert(alignof(PortEntry) == 1, "entries sit at odd offsets in the reply");
static_assert(offsetof(PortEntry, devfn) == 0);
static_assert(offsetof(PortEntry, bus) == 1);
static_assert(offsetof(PortEntry, mac) == 2);

// entries points at entry_count consecutive entries; port p is entries[p - 1].
struct PortTable {
    uint32_t entry_count;
    const PortEntry *entries;
};

// The firmware structure that lists the embedded ports, one PortEntry each.
inline constexpr uint8_t PORT_STRUCTURE_TYPE = 209;
inline constexpr uint32_t PORT_STRUCTURE_HEADER_SIZE = 4;  // type, length, handle

// The table a port structure holds: whole entries after its header, as many
// as its length byte (the formatted area, header included) makes room for.
// The bytes of a partial entry are ignored; a length below the header holds
// none. Every entry lies inside the formatted area: at most 31, for length
// 255. The library publishes this from its reply; tesmaron-ports reads
// firmware tables with it.
inline PortTable PortTableOf(const uint8_t *structure) {
    const uint32_t length = structure[1];
    const uint32_t count =
        length < PORT_STRUCTURE_HEADER_SIZE ? 0 : (length - PORT_STRUCTURE_HEADER_SIZE) / sizeof(PortEntry);
    return {count, reinterpret_cast<const PortEntry *>(structure + PORT_STRUCTURE_HEADER_SIZE)};
}

// Written only while the library is being attached, read-only afterwards.
extern PortTable port_table;

void ResetPortTable();
void PublishPortTable(uint32_t entry_count, const PortEntry *entries);

#ifdef __ELF__
// Linux only: where no type-209 list stands, the ports are the type-41
// Ethernet entries, numbered by the firmware's instances (from 0, 1 or 49),
// as tesmaron-ports and udev number them; the stand-in for the health
// driver then lists them in a port structure and gives entry i's number as
// numbers[i]. Null, as after every reset: entry i is port i + 1.
extern const uint8_t *port_numbers;
void PublishPortNumbers(const uint8_t *numbers);
#endif

}  // namespace tesmaron
