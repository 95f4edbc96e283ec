// SPDX-License-Identifier: MIT
// The ports tesmaron-ports reports, wherever they come from, and the
// question asked of them.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "pci_address.h"
#include "portmap/port_table.h"
#include "smbios/onboard_devices.h"

namespace tesmaron::tool {

// Which firmware structure numbers a port: the port list of type 209, or
// the standard onboard devices of type 41 (its Ethernet entries).
enum class Source : uint32_t { PORT_LIST = 209, ONBOARD_DEVICES = 41 };

// The firmware's MAC address of a port against its interface's permanent
// one: the same, the same read backwards (as some firmware stores it), or
// different; NONE where there is nothing to compare.
enum class MacCheck : uint8_t { NONE, SAME, REVERSED, DIFFERENT };

// What the switch at the other end of a port's cable says of itself and of
// its port (LLDP): IDs as text (a MAC address as 00:19:2f:a7:b2:8d), as
// lldpd's client shows them; "" for what it did not send.
struct LinkNeighbor {
    std::string chassis_id, system_name, port_id, port_description, management;
    std::optional<uint16_t> vlan;
};

// A port's line of the cabling plan (--expect), and how the port compares.
struct PlannedLink {
    std::string switch_name, port_id;
    enum Status { AS_PLANNED, DIFFERENT, UNHEARD } status = UNHEARD;
};

struct Port {
    uint32_t number = 0;  // type 209: from 1, in the firmware's order; type 41: its instance, as given
    Source source = Source::PORT_LIST;
    uint32_t domain = 0;  // PCI segment: 0000 for type 209, which names no other
    PciAddress address{};
    bool has_address = false;      // false: a disabled type-209 port (00:00.0), a type-41 entry naming none
    bool disabled = false;         // type 209: bus 0, devfn 0; type 41: bit 7 of its device type clear
    bool has_mac = false;          // type 209 holds one; type 41 none
    std::array<uint8_t, 6> mac{};  // as the entry holds it, in its byte order
    std::string label{};           // type 41's Reference Designation ("NIC Port 1"), as UTF-8; "" for none
    // Whether its PCI function exists on this machine; unknown (nullopt)
    // for a dump, and where the system lists no PCI function at all.
    std::optional<bool> present{};
    std::vector<std::string> interfaces{};  // the system's names, sorted; none for another machine's table
    std::string operstate{};                // the first interface's link state ("up", "down", ...); "" for none
    MacCheck mac_check = MacCheck::NONE;
    bool neighbor_sought = false;            // --neighbors: its first interface is up, and was listened on
    std::optional<LinkNeighbor> neighbor{};  // what was heard on it
    std::optional<PlannedLink> planned{};    // --expect: its line of the plan
};

// What a source found: the ports of the type-209 list in the firmware's
// order, or why there are none; the type-41 Ethernet entries of the same
// table, in table order; and, when the list did not come from where it
// usually does, where. `read` is false when no port list could be read at
// all (no tables, no permission, a broken table): not the same as a list
// that holds no ports.
struct PortList {
    std::vector<Port> ports;
    std::vector<Port> onboard;
    bool read = false;
    std::string reason;
    std::string origin;
    std::vector<std::string> notes;  // what the join could not tell, for standard error
};

// A list that was read and holds ports, or none (reason); one that could
// not be read (reason).
PortList Listed(std::vector<Port> ports, const std::string &reason_if_none);
PortList Unreadable(const std::string &reason);

// The ports a port table holds, decoded as the library decodes its own:
// entry i is port i + 1.
std::vector<Port> PortsOf(const PortTable &table);

// The port a type-41 entry describes, when it is an Ethernet entry.
std::optional<Port> OnboardPort(const smbios::OnboardDevice &device);

// The type-41 Ethernet entries with each port once: firmware has been seen
// to repeat an entry (the same instance at the same function), and one
// port listed twice would be two series of one port in the metrics. Two
// entries are one port when they give the same number, label (as the
// metrics write it) and function (none for a disabled entry, or one that
// names none); of two, the enabled one stands. Table order is kept.
std::vector<Port> OncePerPort(const std::vector<Port> &entries);

// Whether a port answers for its PCI function: it has one, is not
// disabled, and is not known to be absent from this machine.
bool AnswersForItsFunction(const Port &port);

// All ports, one port by number, the first port at a PCI address (the
// answers the library's two lookups give), or the port an interface is on.
struct Question {
    enum Kind { ALL, PORT, PCI, INTERFACE } kind = ALL;
    uint32_t port = 0;
    uint32_t domain = 0;         // PCI, INTERFACE: the function's PCI domain
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
