// SPDX-License-Identifier: MIT
// Linux standing in for the health driver: the device the library opens is
// the kernel's own copy of the firmware's SMBIOS table. Every kernel since
// 4.2 exposes the whole table in one file; older ones, and any with the
// dmi-sysfs module loaded, also show one folder per structure,
// "<type>-<instance>", holding its bytes in "raw". Both are readable by root
// only. tesmaron-ports reads the same files, in the same order.
#pragma once

#include "platform/kernel32.h"

namespace tesmaron::linux_device {

inline constexpr char DMI_ENTRY_POINT_PATH[] = "/sys/firmware/dmi/tables/smbios_entry_point";
inline constexpr char DMI_TABLE_PATH[] = "/sys/firmware/dmi/tables/DMI";
inline constexpr char DMI_ENTRIES_ROOT[] = "/sys/firmware/dmi/entries";
// A folder per PCI function the machine has, named DDDD:BB:DD.F.
inline constexpr char PCI_DEVICES_ROOT[] = "/sys/bus/pci/devices";

// Opens the whole table as the health device, its entry point read for how
// far the table goes; or the entries folder where there is no such table.
// INVALID_HANDLE_VALUE when neither can be opened. With pci_devices_root, a
// port structure is answered only where it names this machine: one of its
// enabled ports is at a PCI function there, or the folder lists no function
// at all (a container, which can neither confirm nor refute it). Type 209 is
// an OEM number, and other firmware fills it with no port list at all.
HANDLE OpenSmbiosTables(const char *entry_point_path, const char *table_path, const char *entries_root,
                        const char *pci_devices_root = nullptr);

}  // namespace tesmaron::linux_device
