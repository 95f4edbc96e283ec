// SPDX-License-Identifier: MIT
// Linux: the ports of a machine whose firmware gives no type-209 list it
// confirms, as tesmaron-ports finds them: the type-41 Ethernet entries that
// name a PCI function of this machine, numbered by their instances. The
// stand-in for the health driver answers the library's request for the
// port structure with them, so that the lookups, udev's program and the
// tool agree port for port.
#pragma once

#include <cstdint>

#include "portmap/port_table.h"
#include "smbios/table_walk.h"

namespace tesmaron::linux_device {

// What a port structure would hold for them: the header and an entry per
// port (its PCI address; no MAC address, which type 41 does not give), in
// the order of their numbers; the numbers beside. At most 31, as in any
// port structure.
inline constexpr uint32_t MOST_PORTS = 31;
struct OnboardPorts {
    uint8_t structure[PORT_STRUCTURE_HEADER_SIZE + MOST_PORTS * sizeof(PortEntry)];
    uint32_t size;  // of structure; 0 when there is no port
    uint8_t numbers[MOST_PORTS];
};

// A file of the kernel's firmware tables, opened without waiting and kept
// only when it is a regular file, as sysfs' are: a FIFO in a faked /sys
// would make every program that loads the library wait for ever. -1 and
// errno (ENOENT when there is none) when it cannot be opened or is none.
int OpenFirmwareFile(int folder, const char *path);

// Reads up to size bytes of a file from offset on, as sysfs hands them
// out (a page at a time); -1 on a read error.
long ReadAt(int fd, uint64_t offset, uint8_t *out, uint32_t size);

// Whether the folder lists any PCI function: a page of it read, no more. A
// machine that lists none (a container) can neither confirm nor refute.
bool ListsFunctions(const char *pci_root);

// Whether the machine has a PCI function, its folder in pci_root; with no
// root to ask, true.
bool FunctionPresent(const char *pci_root, uint16_t segment, uint8_t bus, uint8_t devfn);

// The type-41 Ethernet entries of the open table file, walked in one pass a
// page at a time (table_end: how far it goes), or of the entries folder
// (one folder a structure, 41-0, 41-1, ...). Those that are enabled, name a
// function in segment 0 that the machine has, the same instance at the
// same function once; pci_root null: every function believed. False when
// the table cannot be read.
bool ReadOnboardPorts(int source, bool entries_folder, smbios::TableEnd table_end, const char *pci_root,
                      OnboardPorts &ports);

}  // namespace tesmaron::linux_device
