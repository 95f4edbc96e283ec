// SPDX-License-Identifier: MIT
// The port list: decoded from a port table or the onboard devices, and asked.
#include "ports.h"

#include <algorithm>
#include <cstdio>
#include <map>
#include <tuple>
#include <utility>

#include "text.h"

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
        const bool disabled = entry.bus == 0 && devfn == 0;
        Port port{.number = i + 1,
                  .address = {entry.bus, devfn >> 3, devfn & 7},
                  .has_address = !disabled,
                  .disabled = disabled,
                  .has_mac = true};
        std::copy(std::begin(entry.mac), std::end(entry.mac), port.mac.begin());
        ports.push_back(port);
    }
    return ports;
}

std::optional<Port> OnboardPort(const smbios::OnboardDevice &device) {
    if (device.device_type != smbios::DEVICE_TYPE_ETHERNET) return std::nullopt;
    const uint32_t devfn = device.devfn;
    return Port{
        .number = device.instance,
        .source = Source::ONBOARD_DEVICES,
        .domain = device.segment,
        .address = {device.bus, devfn >> 3, devfn & 7},
        .has_address = device.has_address,
        .disabled = !device.enabled,
        .label = ValidUtf8(std::string(device.label.text != nullptr ? device.label.text : "", device.label.size))};
}

std::vector<Port> OncePerPort(const std::vector<Port> &entries) {
    std::vector<Port> ports;
    std::map<std::tuple<uint32_t, std::string, std::string>, size_t> seen;
    for (const Port &entry : entries) {
        const bool addressed = entry.has_address && !entry.disabled;
        const auto [at, added] = seen.try_emplace(
            {entry.number, LabelValue(entry.label), addressed ? FunctionText(entry.domain, entry.address) : ""},
            ports.size());
        if (added) {
            ports.push_back(entry);
        } else if (ports[at->second].disabled && !entry.disabled) {
            ports[at->second] = entry;
        }
    }
    return ports;
}

bool AnswersForItsFunction(const Port &port) { return port.has_address && !port.disabled && port.present != false; }

namespace {

std::string Plural(size_t count) { return std::to_string(count) + (count == 1 ? " port" : " ports"); }

// The lowest port at a function, as LookupByPCIAddress answers; but never a
// port that does not answer for it (disabled, no address, absent).
const Port *PortAt(const std::vector<Port> &ports, uint32_t domain, const PciAddress &address) {
    for (const Port &port : ports) {
        if (AnswersForItsFunction(port) && port.domain == domain && port.address == address) return &port;
    }
    return nullptr;
}

// Why no port answers for a function: none is there, or only one that
// does not answer for it.
std::string NoPortAt(const std::vector<Port> &ports, uint32_t domain, const PciAddress &address) {
    const std::string text = "no embedded port at " + ShortFunctionText(domain, address);
    for (const Port &port : ports) {
        if (port.domain != domain || !(port.address == address)) continue;
        const std::string which = ": port " + std::to_string(port.number);
        if (port.disabled && port.source == Source::PORT_LIST) {
            return text + which + " has that address only because the firmware marks it disabled";
        }
        if (port.disabled) return text + which + " is there, and the firmware marks it disabled";
        if (port.present == false) return text + which + " is listed there, and this machine has no such function";
    }
    return text;
}

// The port numbered N. Type-41 instances are the firmware's own: two
// enabled entries may give one number, and then neither is the answer.
Answer PortNumbered(const std::vector<Port> &ports, uint32_t number, const std::string &lists) {
    std::vector<const Port *> enabled, all;
    for (const Port &port : ports) {
        if (port.number != number) continue;
        all.push_back(&port);
        if (!port.disabled) enabled.push_back(&port);
    }
    if (all.empty()) return {{}, "there is no port " + std::to_string(number) + lists};
    if (enabled.size() > 1) {
        std::string places;
        for (const Port *port : enabled) {
            places += (places.empty() ? "" : " and ") +
                      (port->has_address ? ShortFunctionText(port->domain, port->address) : std::string("no address"));
            if (!port->label.empty()) places += " (\"" + port->label + "\")";
        }
        return {{},
                "the firmware numbers " + std::to_string(enabled.size()) + " enabled ports " + std::to_string(number) +
                    ": at " + places};
    }
    return {{enabled.empty() ? *all.front() : *enabled.front()}, ""};
}

}  // namespace

Answer Ask(const PortList &list, const Question &question) {
    const size_t count = list.ports.size();
    // A list that could not be read says why; one that was read, that it
    // holds no port.
    if (count == 0) return {{}, list.read ? "no embedded network ports found: " + list.reason : list.reason};
    const std::string lists = " (the firmware lists " + Plural(count) + ")";
    switch (question.kind) {
        case Question::ALL:
            return {list.ports, ""};
        case Question::PORT:
            return PortNumbered(list.ports, question.port, lists);
        case Question::PCI:
            if (const Port *port = PortAt(list.ports, question.domain, question.address)) return {{*port}, ""};
            return {{}, NoPortAt(list.ports, question.domain, question.address) + lists};
        case Question::INTERFACE:
            if (!question.unplaced.empty()) return {{}, question.unplaced};
            for (const Port &port : list.ports) {
                if (std::find(port.interfaces.begin(), port.interfaces.end(), question.interface_name) !=
                    port.interfaces.end())
                    return {{port}, ""};
            }
            if (const Port *port = PortAt(list.ports, question.domain, question.address)) {
                const auto there = std::count_if(list.ports.begin(), list.ports.end(), [&](const Port &other) {
                    return AnswersForItsFunction(other) && other.domain == port->domain &&
                           other.address == port->address;
                });
                if (there == 1) return {{*port}, ""};
                return {{},
                        "interface " + question.interface_name + " is on PCI function " +
                            ShortFunctionText(question.domain, question.address) + ", where " + std::to_string(there) +
                            " ports are: which is which cannot be told"};
            }
            return {{},
                    "interface " + question.interface_name + " is on PCI function " +
                        ShortFunctionText(question.domain, question.address) + ", which is no embedded port" + lists};
    }
    return {};
}

}  // namespace tesmaron::tool
