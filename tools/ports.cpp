// The port list: decoded from a port table, and asked.
#include "ports.h"

#include <algorithm>
#include <cstdio>
#include <utility>

namespace tesmaron::tool {

std::string MacText(const std::array<uint8_t, 6> &mac) {
    char text[18];
    std::snprintf(text, sizeof(text), "%02x:%02x:%02x:%02x:%02x:%02x", mac[0], mac[1], mac[2], mac[3], mac[4], mac[5]);
    return text;
}

PortList Listed(std::vector<Port> ports, const std::string &reason_if_none) {
    PortList list;
    list.read = true;
    if (ports.empty()) list.reason = reason_if_none;
    list.ports = std::move(ports);
    return list;
}

PortList Unreadable(const std::string &reason) {
    PortList list;
    list.reason = reason;
    return list;
}

std::vector<Port> PortsOf(const PortTable &table) {
    std::vector<Port> ports;
    for (uint32_t i = 0; i < table.entry_count; ++i) {
        const PortEntry &entry = table.entries[i];
        const uint32_t devfn = entry.devfn;
        Port port{i + 1, {entry.bus, devfn >> 3, devfn & 7}, {}, entry.bus == 0 && devfn == 0, {}};
        std::copy(std::begin(entry.mac), std::end(entry.mac), port.mac.begin());
        ports.push_back(port);
    }
    return ports;
}

namespace {

// The lowest port at an address, as LookupByPCIAddress answers; but never a
// disabled port, whose 00:00.0 is the host bridge's address, not its own.
const Port *PortAt(const std::vector<Port> &ports, const PciAddress &address) {
    for (const Port &port : ports) {
        if (!port.disabled && port.address == address) return &port;
    }
    return nullptr;
}

// Why no port answers for an address: none is there, or only a disabled
// one, whose 00:00.0 says only that it has no address.
std::string NoPortAt(const std::vector<Port> &ports, const PciAddress &address) {
    std::string text = "no embedded port at " + PciText(address);
    for (const Port &port : ports) {
        if (port.disabled && port.address == address) {
            return text + ": port " + std::to_string(port.number) +
                   " has that address only because the firmware marks it disabled";
        }
    }
    return text;
}

}  // namespace

Answer Ask(const PortList &list, const Question &question) {
    const size_t count = list.ports.size();
    if (count == 0) return {{}, "no embedded network ports found: " + list.reason};
    const std::string lists = " (the firmware lists " + std::to_string(count) + (count == 1 ? " port)" : " ports)");
    switch (question.kind) {
        case Question::ALL:
            return {list.ports, ""};
        case Question::PORT:
            if (question.port >= 1 && question.port <= count) return {{list.ports[question.port - 1]}, ""};
            return {{}, "there is no port " + std::to_string(question.port) + lists};
        case Question::PCI:
            if (const Port *port = PortAt(list.ports, question.address)) return {{*port}, ""};
            return {{}, NoPortAt(list.ports, question.address) + lists};
        case Question::INTERFACE:
            if (!question.unplaced.empty()) return {{}, question.unplaced};
            if (const Port *port = PortAt(list.ports, question.address)) return {{*port}, ""};
            return {{},
                    "interface " + question.interface_name + " is on PCI function " + PciText(question.address) +
                        ", which is no embedded port" + lists};
    }
    return {};
}

}  // namespace tesmaron::tool
