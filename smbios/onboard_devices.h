// SPDX-License-Identifier: MIT
// The standard structure that names a board's onboard devices, type 41
// (Onboard Devices Extended Information): one device a structure, with its
// kind, whether it is enabled, the instance the firmware numbers it by (what
// udev names eno<N> by), its PCI segment, bus and device/function, and a
// string that labels it on the chassis ("NIC Port 1").
//
// Pure code over one structure as a table walk found it: no system call, no
// allocation. Every string is looked for inside the bytes given.
#pragma once

#include <cstddef>
#include <cstdint>

namespace tesmaron::smbios {

inline constexpr uint8_t ONBOARD_DEVICES_TYPE = 41;
inline constexpr uint8_t ONBOARD_DEVICES_LENGTH = 11;  // the formatted area, header included
inline constexpr uint8_t DEVICE_TYPE_ETHERNET = 0x05;

// Bytes of a structure's string set: not terminated; size 0 for none.
struct StructureText {
    const char *text;
    size_t size;
};

struct OnboardDevice {
    uint8_t device_type;  // bits 0-6 of the Device Type byte: 5 is Ethernet
    bool enabled;         // bit 7
    uint8_t instance;     // Device Type Instance, as the firmware gives it (from 0 or 1, or 49)
    uint16_t segment;     // PCI segment group (domain)
    uint8_t bus;
    uint8_t devfn;  // device in bits 7-3, function in bits 2-0
    // False for an entry that names no function: segment, bus and devfn all
    // FF, or bus FF, as firmware writes "none"; or 0000:00:00.0, the host
    // bridge, which firmware writes as a placeholder and is never a port.
    bool has_address;
    StructureText label;  // Reference Designation
};

// The device a type-41 structure describes: `structure` and `size` as a
// walk found it, formatted area and strings. False when the structure is
// no type-41 structure, or its formatted area too short to be one.
bool ReadOnboardDevice(const uint8_t *structure, size_t size, OnboardDevice &device);

// String `number` (from 1) of a structure's string set; none for 0, or for
// a number past the set's end.
StructureText StructureString(const uint8_t *structure, size_t size, uint8_t number);

}  // namespace tesmaron::smbios
