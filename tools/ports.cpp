// Asking the port list, and the library as a source of it.
#include "ports.h"

#include <cinttypes>
#include <cstdio>

#include <tesmaron.h>

#include "system.h"

std::string PciText(const PciAddress &a) {
    char text[16];
    std::snprintf(text, sizeof(text), "%02" PRIx32 ":%02" PRIx32 ".%" PRIx32, a.bus, a.device, a.function);
    return text;
}

PortList LibraryPorts() {
    PortList list;
    Port port{};
    // A disabled entry reads as 00:00.0 and keeps its place: the walk stops
    // only after the last port.
    for (port.number = 1;
         LookupByPortNumber(&port.address.bus, &port.address.device, &port.address.function, port.number);
         ++port.number) {
        port.interfaces = InterfaceNames(port.address);
        list.ports.push_back(port);
    }
    return list;
}

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
            // The lowest port at the address, as LookupByPCIAddress answers.
            for (const Port &port : list.ports) {
                const PciAddress &a = port.address, &b = question.address;
                if (a.bus == b.bus && a.device == b.device && a.function == b.function) return {{port}, ""};
            }
            return {{}, "no embedded port at " + PciText(question.address) + lists};
    }
    return {};
}
