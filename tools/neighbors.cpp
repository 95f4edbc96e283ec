// SPDX-License-Identifier: MIT
// LLDP neighbours as text, and the cabling plan read and checked.
#include "neighbors.h"

#include <cctype>
#include <cstdio>
#include <cstring>
#include <sstream>

#include "files.h"
#include "firmware_table.h"

namespace tesmaron::tool {

namespace {

std::string Hex(const lldp::Value &value, const char *between) {
    std::string text;
    for (uint8_t i = 0; i < value.size; ++i) {
        char byte[3];
        std::snprintf(byte, sizeof(byte), "%02x", value.bytes[i]);
        text.append(i == 0 ? "" : between).append(byte);
    }
    return text;
}

std::string Text(const lldp::Value &value) {
    return std::string(reinterpret_cast<const char *>(value.bytes), value.size);
}

// An IANA address family and its address: IPv4, IPv6, else hex.
std::string Address(uint8_t family, const lldp::Value &address) {
    char text[64];
    if (family == 1 && address.size == 4) {
        std::snprintf(text, sizeof(text), "%u.%u.%u.%u", address.bytes[0], address.bytes[1], address.bytes[2],
                      address.bytes[3]);
        return text;
    }
    if (family == 2 && address.size == 16) {
        // As RFC 5952 writes it: the longest run of two or more zero
        // groups (the first of equal ones) as "::".
        unsigned groups[8];
        int run_at = -1, run = 0;
        for (int i = 0, zeros = 0; i < 8; ++i) {
            groups[i] = address.bytes[2 * i] << 8 | address.bytes[2 * i + 1];
            zeros = groups[i] == 0 ? zeros + 1 : 0;
            if (zeros > run && zeros >= 2) {
                run = zeros;
                run_at = i - zeros + 1;
            }
        }
        std::string out;
        for (int i = 0; i < 8; ++i) {
            if (i == run_at) {
                out += "::";
                i += run - 1;
                continue;
            }
            std::snprintf(text, sizeof(text), "%s%x", out.empty() || out.back() == ':' ? "" : ":", groups[i]);
            out += text;
        }
        return out;
    }
    return Hex(address, ":");
}

// An ID by its subtype: a MAC address (chassis 4, port 3), a network
// address (chassis 5, port 4: a family byte, then the address), else text.
std::string Id(uint8_t subtype, const lldp::Value &id, uint8_t mac_subtype) {
    if (subtype == mac_subtype && id.size == 6) return Hex(id, ":");
    if (subtype == mac_subtype + 1 && id.size > 1) {
        lldp::Value address{};
        address.size = static_cast<uint8_t>(id.size - 1);
        std::memcpy(address.bytes, id.bytes + 1, address.size);
        return Address(id.bytes[0], address);
    }
    return Text(id);
}

bool Same(const std::string &a, const std::string &b) {
    if (a.size() != b.size() || a.empty()) return false;
    for (size_t i = 0; i < a.size(); ++i) {
        if (std::tolower(static_cast<unsigned char>(a[i])) != std::tolower(static_cast<unsigned char>(b[i])))
            return false;
    }
    return true;
}

std::string Trimmed(const std::string &text) {
    const size_t first = text.find_first_not_of(" \t\r");
    if (first == std::string::npos) return "";
    return text.substr(first, text.find_last_not_of(" \t\r") - first + 1);
}

}  // namespace

LinkNeighbor NeighborOf(const lldp::Neighbor &frame) {
    LinkNeighbor neighbor;
    neighbor.chassis_id = Id(frame.chassis_subtype, frame.chassis_id, 4);
    neighbor.port_id = Id(frame.port_subtype, frame.port_id, 3);
    if (frame.has_system_name) neighbor.system_name = Text(frame.system_name);
    if (frame.has_port_description) neighbor.port_description = Text(frame.port_description);
    if (frame.has_vlan) neighbor.vlan = frame.vlan;
    if (frame.has_management) neighbor.management = Address(frame.management_subtype, frame.management_address);
    return neighbor;
}

std::string ReadPlan(const std::string &path, std::vector<PlanLine> &plan) {
    std::vector<uint8_t> bytes;
    if (const int error = ReadFileBytes(path, bytes); error != 0)
        return "--expect " + path + ": cannot read it: " + FileError(error);
    std::istringstream lines(std::string(bytes.begin(), bytes.end()));
    int number = 0;
    bool first = true;
    for (std::string line; std::getline(lines, line);) {
        ++number;
        line = Trimmed(line);
        if (line.empty() || line[0] == '#') continue;
        std::vector<std::string> fields;
        std::istringstream split(line);
        for (std::string field; std::getline(split, field, ',');) fields.push_back(Trimmed(field));
        const bool numbered = !fields.empty() && !fields[0].empty() && fields[0].size() < 10 &&
                              fields[0].find_first_not_of("0123456789") == std::string::npos;
        const bool heading = first && !numbered;
        first = false;
        if (heading) continue;
        if (!numbered || fields.size() != 3 || fields[1].empty() || fields[2].empty()) {
            return "--expect " + path + ", line " + std::to_string(number) +
                   ": not PORT,SWITCH,SWITCH-PORT (a port number, the switch's system name or chassis ID, its port)";
        }
        plan.push_back({static_cast<uint32_t>(std::stoul(fields[0])), fields[1], fields[2]});
    }
    return "";
}

bool CheckPlan(std::vector<Port> &ports, const std::vector<PlanLine> &plan, std::vector<std::string> &notes) {
    bool as_planned = true;
    for (const PlanLine &line : plan) {
        bool listed = false;
        for (Port &port : ports) {
            if (port.number != line.port || port.disabled) continue;
            listed = true;
            PlannedLink planned{line.switch_name, line.port_id, PlannedLink::UNHEARD};
            if (port.neighbor) {
                const LinkNeighbor &heard = *port.neighbor;
                const bool same_switch =
                    Same(line.switch_name, heard.system_name) || Same(line.switch_name, heard.chassis_id);
                const bool same_port = Same(line.port_id, heard.port_id) || Same(line.port_id, heard.port_description);
                planned.status = same_switch && same_port ? PlannedLink::AS_PLANNED : PlannedLink::DIFFERENT;
            }
            as_planned = as_planned && planned.status == PlannedLink::AS_PLANNED;
            port.planned = planned;
        }
        if (!listed) {
            notes.push_back("the plan names port " + std::to_string(line.port) + ", which is no enabled port here");
            as_planned = false;
        }
    }
    return as_planned;
}

}  // namespace tesmaron::tool
