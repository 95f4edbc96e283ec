// SPDX-License-Identifier: MIT
// Each embedded port's LLDP neighbour, the switch port at the other end of
// its cable, and the cabling plan it is checked against (--neighbors,
// --expect).
#pragma once

#include <string>
#include <vector>

#include "lldp/frame.h"
#include "ports.h"

namespace tesmaron::tool {

// A neighbour as a frame names it, its IDs as text: a MAC address as
// 00:19:2f:a7:b2:8d, a network address as an IP address, the rest as the
// switch wrote it (an ID that is no text, in hex).
LinkNeighbor NeighborOf(const lldp::Neighbor &frame);

// The neighbours of the ports whose first interface is up, each port so
// asked marked neighbor_sought: from lldpd where it runs on this machine
// (answered at once), else heard on a packet socket per interface, at most
// `wait_seconds`, until each has been heard; nothing is ever sent. "" or
// why none could be sought (not root; not on this system). One source per
// system: linux/neighbors.cpp, windows/interfaces.cpp.
std::string SeekNeighbors(std::vector<Port> &ports, int wait_seconds);

// One line of the cabling plan: a port, and the switch (its system name
// or chassis ID) and switch port (its port ID or description) it is to be
// cabled to.
struct PlanLine {
    uint32_t port;
    std::string switch_name, port_id;
};

// The plan file: a line a port, "PORT,SWITCH,SWITCH-PORT" (as an inventory
// exports CSV, or as one writes it by hand); blank lines, lines starting
// with '#' and a heading line whose first field is no number are passed
// over. "" or why it cannot be read (with the line).
std::string ReadPlan(const std::string &path, std::vector<PlanLine> &plan);

// Each planned port marked as cabled as planned, otherwise, or unheard
// (names compared as switches and admins write them, without regard to
// case); the reasons, for standard error, of plan lines that name no port
// the firmware lists. True when every planned port is as planned.
bool CheckPlan(std::vector<Port> &ports, const std::vector<PlanLine> &plan, std::vector<std::string> &notes);

// What was heard on a port, in each form (forms.cpp): indented lines below
// the port's; ", \"neighbor\": ..." (and ", \"plan\": ...") for its JSON
// object; the series of the neighbours heard and of the planned ports.
std::string NeighborLines(const Port &port);
std::string NeighborJson(const Port &port);
std::string NeighborMetrics(const std::vector<Port> &ports);

}  // namespace tesmaron::tool
