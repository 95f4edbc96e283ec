// SPDX-License-Identifier: MIT
// Each output form in one place: lines, JSON, and the metrics that the
// example alerting rules query (docs/tesmaron-ports.rules.yml).
#include "forms.h"

#include <algorithm>
#include <iterator>

#include "neighbors.h"
#include "text.h"

namespace tesmaron::tool {

namespace {

// The PCI address (its domain when not 0000), "disabled" for a disabled
// port, "-" for one that names no function.
std::string AddressText(const Port &port) {
    if (port.disabled) return "disabled";
    return port.has_address ? ShortFunctionText(port.domain, port.address) : "-";
}

// The firmware's MAC address, and where the interface's permanent one is
// not the same, what it is: "(reversed)", the same bytes backwards, or
// "(differs)". One word: the columns after it stay where they are.
std::string MacColumn(const Port &port) {
    if (!port.has_mac) return "-";
    const char *mark = port.mac_check == MacCheck::DIFFERENT  ? "(differs)"
                       : port.mac_check == MacCheck::REVERSED ? "(reversed)"
                                                              : "";
    return MacText(port.mac) + mark;
}

// "1  02:00.0  eno1,eno2  2c:76:8a:ad:eb:a5  up  NIC Port 1": the port, its
// PCI address, its interfaces or "-", the firmware's MAC address or "-",
// the first interface's link or "-", its label; aligned, under a heading
// where a person reads it. Scripts read the first three columns. What
// others wrote is shown, never obeyed (DisplayText).
std::string Lines(const std::vector<Port> &ports, bool heading, bool neighbors) {
    std::vector<std::array<std::string, 6>> rows;
    if (heading) rows.push_back({"PORT", "PCI", "INTERFACES", "FIRMWARE-MAC", "LINK", "LABEL"});
    std::array<size_t, 6> width{};
    if (heading) {
        for (size_t i = 0; i < width.size(); ++i) width[i] = rows.back()[i].size();
    }
    for (const Port &port : ports) {
        std::string names;
        for (const std::string &name : port.interfaces) names += (names.empty() ? "" : ",") + name;
        rows.push_back({std::to_string(port.number), AddressText(port), names.empty() ? "-" : DisplayText(names),
                        MacColumn(port), port.operstate.empty() ? "-" : DisplayText(port.operstate),
                        DisplayText(port.label)});
        for (size_t i = 0; i < width.size(); ++i) width[i] = std::max(width[i], rows.back()[i].size());
    }
    std::string out;
    for (size_t r = 0; r < rows.size(); ++r) {
        const auto &row = rows[r];
        std::string line;
        for (size_t i = 0; i < row.size(); ++i) {
            line += row[i];
            if (i + 1 < row.size()) line.append(width[i] - row[i].size() + 2, ' ');
        }
        line.erase(line.find_last_not_of(' ') + 1);
        out += line + "\n";
        if (neighbors && (r > 0 || !heading)) out += NeighborLines(ports[heading ? r - 1 : r]);
    }
    return out;
}

const char *MacCheckWord(MacCheck check) {
    switch (check) {
        case MacCheck::SAME:
            return "same";
        case MacCheck::REVERSED:
            return "reversed";
        case MacCheck::DIFFERENT:
            return "different";
        case MacCheck::NONE:
            break;
    }
    return nullptr;
}

// One array, [] when nothing was found: a script always gets JSON. "pci"
// is the address as a type-209 entry holds it, also for a disabled port;
// "address" the function with its domain, "" where the port has none.
std::string Json(const std::vector<Port> &ports, bool neighbors) {
    std::string out = "[";
    for (const Port &port : ports) {
        if (out.size() > 1) out += ", ";
        const bool pci = port.has_address || port.source == Source::PORT_LIST;
        out += "{\"port\": " + std::to_string(port.number) + ", \"pci\": \"" + (pci ? PciText(port.address) : "") +
               "\", \"interfaces\": [";
        for (size_t i = 0; i < port.interfaces.size(); ++i) out += (i ? ", " : "") + JsonString(port.interfaces[i]);
        const char *mac_check = MacCheckWord(port.mac_check);
        out += std::string("], \"mac\": \"") + (port.has_mac ? MacText(port.mac) : "") +
               "\", \"disabled\": " + (port.disabled ? "true" : "false") + ", \"address\": \"" +
               (port.has_address ? FunctionText(port.domain, port.address) : "") +
               "\", \"label\": " + JsonString(port.label) +
               ", \"source\": " + std::to_string(static_cast<uint32_t>(port.source)) +
               ", \"present\": " + (port.present ? (*port.present ? "true" : "false") : "null") +
               ", \"operstate\": " + (port.interfaces.empty() ? "null" : JsonString(port.operstate)) +
               ", \"mac_check\": " + (mac_check ? JsonString(mac_check) : "null") +
               (neighbors ? NeighborJson(port) : "") + "}";
    }
    return out + "]\n";
}

// The Prometheus text exposition format, for a textfile collector: whether
// the port list could be read; one sample per port and interface, "device"
// as node_exporter names interfaces, so that a query can join link state to
// port numbers, the PCI address with its domain, as the kernel writes it
// (none for a port without one: a disabled type-209 port's 00:00.0 is the
// host bridge's), its label and the structure that numbers it; for each
// port whose firmware MAC address could be compared with its interface's,
// whether they differ; the number of ports, when the list was read.
std::string Metrics(const std::vector<Port> &all, bool read, bool neighbors) {
    // A port the firmware marks disabled is no port of the machine's: it is
    // neither listed nor counted.
    std::vector<Port> ports;
    std::copy_if(all.begin(), all.end(), std::back_inserter(ports), [](const Port &port) { return !port.disabled; });
    std::string out =
        "# HELP tesmaron_read_success Whether the firmware's list of embedded network ports could be read.\n"
        "# TYPE tesmaron_read_success gauge\n"
        "tesmaron_read_success " +
        std::string(read ? "1" : "0") + "\n";
    if (!read) return out;
    out +=
        "# HELP tesmaron_port_info Embedded network port: its number, its PCI address (empty when it has none), an "
        "interface on it, its label and the SMBIOS structure type that numbers it (209 or 41).\n"
        "# TYPE tesmaron_port_info gauge\n";
    std::string differs;
    for (const Port &port : ports) {
        const std::string number = std::to_string(port.number);
        const std::string labels = "tesmaron_port_info{port=\"" + number + "\",pci=\"" +
                                   (port.has_address && !port.disabled ? FunctionText(port.domain, port.address) : "") +
                                   "\",label=\"" + LabelValue(port.label) + "\",source=\"" +
                                   std::to_string(static_cast<uint32_t>(port.source)) + "\",device=\"";
        if (port.interfaces.empty()) out += labels + "\"} 1\n";
        for (const std::string &name : port.interfaces) out += labels + LabelValue(name) + "\"} 1\n";
        if (port.mac_check != MacCheck::NONE) {
            differs += "tesmaron_port_mac_differs{port=\"" + number + "\",device=\"" + LabelValue(port.interfaces[0]) +
                       "\"} " + (port.mac_check == MacCheck::DIFFERENT ? "1" : "0") + "\n";
        }
    }
    if (!differs.empty()) {
        out +=
            "# HELP tesmaron_port_mac_differs Whether an embedded port's MAC address in the firmware differs from "
            "its interface's permanent one (the same bytes in reverse order count as the same).\n"
            "# TYPE tesmaron_port_mac_differs gauge\n" +
            differs;
    }
    if (neighbors) out += NeighborMetrics(ports);
    return out +
           "# HELP tesmaron_ports Embedded network ports the firmware lists as enabled.\n"
           "# TYPE tesmaron_ports gauge\n"
           "tesmaron_ports " +
           std::to_string(ports.size()) + "\n";
}

}  // namespace

std::string Render(Form form, const std::vector<Port> &ports, bool read, bool heading, bool neighbors) {
    switch (form) {
        case Form::LINES:
            return Lines(ports, heading, neighbors);
        case Form::JSON:
            return Json(ports, neighbors);
        case Form::METRICS:
            return Metrics(ports, read, neighbors);
    }
    return "";
}

}  // namespace tesmaron::tool
