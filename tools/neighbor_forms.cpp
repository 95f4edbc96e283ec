// SPDX-License-Identifier: MIT
// Each port's LLDP neighbour, and its line of the plan, in the three forms.
// Every name comes from a switch or a file: shown, never obeyed, as the
// labels are.
#include "neighbors.h"
#include "text.h"

namespace tesmaron::tool {

namespace {

const char *StatusWord(PlannedLink::Status status) {
    switch (status) {
        case PlannedLink::AS_PLANNED:
            return "as planned";
        case PlannedLink::DIFFERENT:
            return "different";
        case PlannedLink::UNHEARD:
            break;
    }
    return "unheard";
}

std::string Label(const char *name, const std::string &value) {
    return std::string(name) + "=\"" + LabelValue(value) + "\"";
}

}  // namespace

// "   neighbor: switch-a Ethernet1/12 (port ID sw1, chassis 00:19:2f:a7:b2:8d,
// VLAN 10, management 10.0.0.2)", then "   plan: switch-a Ethernet1/12, as
// planned".
std::string NeighborLines(const Port &port) {
    std::string out;
    if (port.neighbor) {
        const LinkNeighbor &n = *port.neighbor;
        out = "   neighbor: " + DisplayText(n.system_name.empty() ? n.chassis_id : n.system_name) + " " +
              DisplayText(n.port_description.empty() ? n.port_id : n.port_description) + " (port ID " +
              DisplayText(n.port_id) + ", chassis " + DisplayText(n.chassis_id) +
              (n.vlan ? ", VLAN " + std::to_string(*n.vlan) : "") +
              (n.management.empty() ? "" : ", management " + DisplayText(n.management)) + ")\n";
    } else if (port.neighbor_sought) {
        out = "   neighbor: none heard\n";
    }
    if (port.planned) {
        out += "   plan: " + DisplayText(port.planned->switch_name) + " " + DisplayText(port.planned->port_id) + ", " +
               StatusWord(port.planned->status) + "\n";
    }
    return out;
}

std::string NeighborJson(const Port &port) {
    std::string out = ", \"neighbor\": ";
    if (port.neighbor) {
        const LinkNeighbor &n = *port.neighbor;
        out += "{\"chassis_id\": " + JsonString(n.chassis_id) + ", \"system_name\": " + JsonString(n.system_name) +
               ", \"port_id\": " + JsonString(n.port_id) + ", \"port_description\": " + JsonString(n.port_description) +
               ", \"vlan\": " + (n.vlan ? std::to_string(*n.vlan) : "null") +
               ", \"management\": " + JsonString(n.management) + "}";
    } else {
        out += "null";
    }
    if (port.planned) {
        out += ", \"plan\": {\"switch\": " + JsonString(port.planned->switch_name) +
               ", \"port\": " + JsonString(port.planned->port_id) +
               ", \"status\": " + JsonString(StatusWord(port.planned->status)) + "}";
    }
    return out;
}

// tesmaron_port_neighbor_info, one series a port a neighbour was heard on;
// tesmaron_port_cabled_as_planned, 1 or 0 for each port of the plan.
std::string NeighborMetrics(const std::vector<Port> &ports) {
    std::string neighbors, planned;
    for (const Port &port : ports) {
        const std::string number = Label("port", std::to_string(port.number));
        const std::string device = Label("device", port.interfaces.empty() ? "" : port.interfaces.front());
        if (port.neighbor) {
            const LinkNeighbor &n = *port.neighbor;
            neighbors += "tesmaron_port_neighbor_info{" + number + "," + device + "," +
                         Label("chassis_id", n.chassis_id) + "," + Label("system_name", n.system_name) + "," +
                         Label("port_id", n.port_id) + "," + Label("port_description", n.port_description) + "," +
                         Label("vlan", n.vlan ? std::to_string(*n.vlan) : "") + "} 1\n";
        }
        if (port.planned) {
            planned += "tesmaron_port_cabled_as_planned{" + number + "," + Label("switch", port.planned->switch_name) +
                       "," + Label("switch_port", port.planned->port_id) + "} " +
                       (port.planned->status == PlannedLink::AS_PLANNED ? "1" : "0") + "\n";
        }
    }
    std::string out;
    if (!neighbors.empty()) {
        out +=
            "# HELP tesmaron_port_neighbor_info The LLDP neighbour heard on an embedded port: the switch (chassis ID, "
            "system name) and its port (port ID, description) at the other end of the cable.\n"
            "# TYPE tesmaron_port_neighbor_info gauge\n" +
            neighbors;
    }
    if (!planned.empty()) {
        out +=
            "# HELP tesmaron_port_cabled_as_planned Whether an embedded port's LLDP neighbour is the switch port the "
            "cabling plan names (0: another, or none heard).\n"
            "# TYPE tesmaron_port_cabled_as_planned gauge\n" +
            planned;
    }
    return out;
}

}  // namespace tesmaron::tool
