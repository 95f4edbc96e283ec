// SPDX-License-Identifier: MIT
// A type-41 structure decoded, its label found in its string set.
#include "onboard_devices.h"

namespace tesmaron::smbios {

StructureText StructureString(const uint8_t *structure, size_t size, uint8_t number) {
    if (number == 0 || size < 2 || structure[1] > size) return {nullptr, 0};
    size_t at = structure[1];
    for (uint8_t n = 1; at < size && structure[at] != 0; ++n) {
        size_t end = at;
        while (end < size && structure[end] != 0) ++end;
        if (n == number) return {reinterpret_cast<const char *>(structure + at), end - at};
        at = end + 1;
    }
    return {nullptr, 0};
}

bool ReadOnboardDevice(const uint8_t *structure, size_t size, OnboardDevice &device) {
    if (size < ONBOARD_DEVICES_LENGTH || structure[0] != ONBOARD_DEVICES_TYPE ||
        structure[1] < ONBOARD_DEVICES_LENGTH || structure[1] > size) {
        return false;
    }
    device.device_type = structure[5] & 0x7F;
    device.enabled = (structure[5] & 0x80) != 0;
    device.instance = structure[6];
    device.segment = static_cast<uint16_t>(structure[7] | structure[8] << 8);
    device.bus = structure[9];
    device.devfn = structure[10];
    const bool none = device.bus == 0xFF;
    const bool host_bridge = device.segment == 0 && device.bus == 0 && device.devfn == 0;
    device.has_address = !none && !host_bridge;
    device.label = StructureString(structure, size, structure[4]);
    return true;
}

}  // namespace tesmaron::smbios
