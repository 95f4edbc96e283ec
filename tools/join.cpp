// SPDX-License-Identifier: MIT
// Joining the firmware's port lists with what this machine has.
#include "join.h"

#include <algorithm>
#include <set>

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

std::string Numbers(const std::vector<Port *> &ports) {
    std::string text;
    for (size_t i = 0; i < ports.size(); ++i) {
        text += (i == 0 ? "" : i + 1 == ports.size() ? " and " : ", ") + std::to_string(ports[i]->number);
    }
    return text;
}

// The interfaces of a port's function, to it and to every other port
// there: one port takes them all; several take one each in the order the
// kernel numbers them (dev_port), a port's rank in the order of the
// numbers, where there are as many as ports; where not, none, and a note
// says so.
void Place(PortList &list, const Port &at) {
    std::vector<Port *> sharing;
    for (Port &port : list.ports) {
        if (AnswersForItsFunction(port) && port.domain == at.domain && port.address == at.address)
            sharing.push_back(&port);
    }
    std::vector<NetInterface> interfaces = InterfacesOn(at.domain, at.address);
    if (sharing.size() == 1) {
        for (const NetInterface &interface : interfaces) sharing[0]->interfaces.push_back(interface.name);
        return;
    }
    const bool ranked = std::all_of(interfaces.begin(), interfaces.end(),
                                    [](const NetInterface &interface) { return interface.dev_port >= 0; });
    if (interfaces.size() != sharing.size() || !ranked) {
        if (!interfaces.empty()) {
            list.notes.push_back("ports " + Numbers(sharing) + " are at " + ShortFunctionText(at.domain, at.address) +
                                 ", which has " + std::to_string(interfaces.size()) + (ranked ? "" : " unnumbered") +
                                 (interfaces.size() == 1 ? " interface" : " interfaces") +
                                 ": which is which cannot be told");
        }
        return;
    }
    std::stable_sort(interfaces.begin(), interfaces.end(),
                     [](const NetInterface &a, const NetInterface &b) { return a.dev_port < b.dev_port; });
    std::stable_sort(sharing.begin(), sharing.end(),
                     [](const Port *a, const Port *b) { return a->number < b->number; });
    for (size_t i = 0; i < sharing.size(); ++i) sharing[i]->interfaces = {interfaces[i].name};
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
        list.reason =
            "the type-209 structure names no PCI function of this machine, and no type-41 Ethernet entry is "
            "there instead";
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
    std::set<std::string> placed;
    for (const Port &port : list.ports) {
        if (AnswersForItsFunction(port) && placed.insert(FunctionText(port.domain, port.address)).second)
            Place(list, port);
    }
    for (Port &port : list.ports) {
        if (port.interfaces.empty()) continue;
        const InterfaceLink link = LinkOf(port.interfaces.front());
        port.operstate = link.operstate;
        if (port.has_mac && !Blank(port.mac) && link.permanent_mac)
            port.mac_check = CompareMacs(port.mac, *link.permanent_mac);
    }
    return list;
}

}  // namespace tesmaron::tool
