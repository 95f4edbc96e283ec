// SPDX-License-Identifier: MIT
// The firmware's answers joined with the machine's: which of the two lists
// stands, and for each port whether this machine has its function, its
// interfaces, their link and their MAC address against the firmware's.
#pragma once

#include "ports.h"

namespace tesmaron::tool {

// On this machine (live), a type-209 list none of whose ports is at a PCI
// function here is no port list of this machine (type 209 is an OEM
// number, and other firmware fills it with something else): it is set
// aside. A list that stands keeps its numbers, each port labelled by the
// type-41 Ethernet entry at its function; where no list stands, the type-41
// Ethernet entries are the ports, numbered by their instances. From a dump
// (not live) nothing is confirmed or refuted, and no interface is known.
PortList Joined(PortList firmware, bool live);

// A firmware MAC address against an interface's permanent one.
MacCheck CompareMacs(const std::array<uint8_t, 6> &firmware, const std::array<uint8_t, 6> &interface);

}  // namespace tesmaron::tool
