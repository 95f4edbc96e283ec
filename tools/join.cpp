// SPDX-License-Identifier: MIT
// Joining the firmware's port lists with what this machine has.
#include "join.h"

#include <algorithm>

#include "interfaces.h"

namespace tesmaron::tool {

namespace {

// A port's function on this machine: absent when it names none (disabled,
// no address), unless the system lists no function at all.
std::optional<bool> Presence(const Port &port) {
    const std::optional<bool> present = PciFunctionPresent(port.domain, port.address);
    if (!present.has_value()) return std::nullopt;
    return port.has_address && !port.disabled && *present;
}

// The label of the type-41 Ethernet entry at a port's function.
std::string LabelAt(const std::vector<Port> &onboard, const Port &port) {
    for (const Port &device : onboard) {
        if (device.has_address && device.domain == port.domain && device.address == port.address &&
            !device.label.empty()) {
            return device.label;
        }
    }
    return "";
}

// Firmware that fills no MAC address writes zeros or FFs: nothing to
// compare.
bool Blank(const std::array<uint8_t, 6> &mac) {
    return std::all_of(mac.begin(), mac.end(), [](uint8_t b) { return b == 0; }) ||
           std::all_of(mac.begin(), mac.end(), [](uint8_t b) { return b == 0xFF; });
}

}  // namespace

MacCheck CompareMacs(const std::array<uint8_t, 6> &firmware, const std::array<uint8_t, 6> &interface) {
    if (firmware == interface) return MacCheck::SAME;
    if (std::equal(firmware.begin(), firmware.end(), interface.rbegin())) return MacCheck::REVERSED;
    return MacCheck::DIFFERENT;
}

PortList Joined(PortList list, bool live) {
    if (!list.read) return list;
    if (live) {
        for (Port &port : list.ports) port.present = Presence(port);
        for (Port &port : list.onboard) port.present = Presence(port);
    }
    const bool refuted = !list.ports.empty() && std::all_of(list.ports.begin(), list.ports.end(),
                                                            [](const Port &p) { return p.present == false; });
    if (refuted) {
        list.ports.clear();
        list.reason = "the type-209 structure names no PCI function of this machine";
    }
    if (!list.ports.empty()) {
        for (Port &port : list.ports) port.label = LabelAt(list.onboard, port);
    } else if (!list.onboard.empty()) {
        list.ports = OncePerPort(list.onboard);
        std::stable_sort(list.ports.begin(), list.ports.end(),
                         [](const Port &a, const Port &b) { return a.number < b.number; });
        list.reason.clear();
    }
    if (!live) return list;
    for (Port &port : list.ports) {
        if (!AnswersForItsFunction(port)) continue;
        port.interfaces = InterfaceNames(port.domain, port.address);
        if (port.interfaces.empty()) continue;
        const InterfaceLink link = LinkOf(port.interfaces.front());
        port.operstate = link.operstate;
        if (port.has_mac && !Blank(port.mac) && link.permanent_mac)
            port.mac_check = CompareMacs(port.mac, *link.permanent_mac);
    }
    return list;
}

}  // namespace tesmaron::tool
