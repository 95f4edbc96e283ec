// The ports tesmaron-ports reports, wherever they come from, and the
// question asked of them.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "pci_address.h"
#include "portmap/port_table.h"

namespace tesmaron::tool {

struct Port {
    uint32_t number;  // from 1, in the firmware's order
    PciAddress address;
    std::array<uint8_t, 6> mac;           // as the entry holds it, in its byte order
    bool disabled;                        // bus 0, devfn 0: the firmware marks the port disabled
    std::vector<std::string> interfaces;  // the system's names, sorted; none for another machine's table
};

// What a source found: the ports in the firmware's order, or why there are
// none; and, when the list did not come from where it usually does, where.
// `read` is false when no port list could be read at all (no tables, no
// permission, a broken table): not the same as a list that holds no ports.
struct PortList {
    std::vector<Port> ports;
    bool read = false;
    std::string reason;
    std::string origin;
};

// A list that was read and holds ports, or none (reason); one that could
// not be read (reason).
PortList Listed(std::vector<Port> ports, const std::string &reason_if_none);
PortList Unreadable(const std::string &reason);

// The ports a port table holds, decoded as the library decodes its own:
// entry i is port i + 1.
std::vector<Port> PortsOf(const PortTable &table);

// All ports, one port by number, the first port at a PCI address (the
// answers the library's two lookups give), or the port an interface is on.
struct Question {
    enum Kind { ALL, PORT, PCI, INTERFACE } kind = ALL;
    uint32_t port = 0;
    PciAddress address{};        // PCI; INTERFACE: the function it is on, once found
    std::string interface_name;  // INTERFACE: its name
    std::string unplaced;        // INTERFACE: why it is on no PCI function, if it is not
};

struct Answer {
    std::vector<Port> ports;
    std::string reason;  // why nothing answers, when nothing does
};

Answer Ask(const PortList &list, const Question &question);

std::string MacText(const std::array<uint8_t, 6> &mac);  // 2c:76:8a:ad:eb:a5

}  // namespace tesmaron::tool
