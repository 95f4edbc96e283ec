// Each output form in one place: lines, JSON, and the metrics that the
// example alerting rules query (docs/tesmaron-ports.rules.yml).
#include "forms.h"

#include <cstdio>

namespace tesmaron::tool {

namespace {

// The PCI address, or "disabled" for a port with none.
std::string AddressText(const Port &port) { return port.disabled ? "disabled" : PciText(port.address); }

// "1  02:00.0  eno1,eno2  2c:76:8a:ad:eb:a5": the port, its PCI address, its
// interfaces or "-", its MAC address. Scripts read the first three columns.
std::string Lines(const std::vector<Port> &ports) {
    std::string out;
    for (const Port &port : ports) {
        std::string names;
        for (const std::string &name : port.interfaces) names += (names.empty() ? "" : ",") + name;
        out += std::to_string(port.number) + "  " + AddressText(port) + "  " + (names.empty() ? "-" : names) + "  " +
               MacText(port.mac) + "\n";
    }
    return out;
}

// A JSON string: quotes, backslashes and control characters escaped; other
// bytes (UTF-8) as they are.
std::string JsonString(const std::string &text) {
    std::string out = "\"";
    for (const char c : text) {
        if (c == '"' || c == '\\') {
            out += '\\';
            out += c;
        } else if (static_cast<unsigned char>(c) < 0x20) {
            char escaped[8];
            std::snprintf(escaped, sizeof(escaped), "\\u%04x", static_cast<unsigned>(c));
            out += escaped;
        } else {
            out += c;
        }
    }
    return out + "\"";
}

// One array, [] when nothing was found: a script always gets JSON. "pci"
// is the address as the entry holds it, also for a disabled port.
std::string Json(const std::vector<Port> &ports) {
    std::string out = "[";
    for (const Port &port : ports) {
        if (out.size() > 1) out += ", ";
        out += "{\"port\": " + std::to_string(port.number) + ", \"pci\": \"" + PciText(port.address) +
               "\", \"interfaces\": [";
        for (size_t i = 0; i < port.interfaces.size(); ++i) out += (i ? ", " : "") + JsonString(port.interfaces[i]);
        out += std::string("], \"mac\": \"") + MacText(port.mac) +
               "\", \"disabled\": " + (port.disabled ? "true" : "false") + "}";
    }
    return out + "]\n";
}

// A label value in the Prometheus text format: backslash, double quote and
// line feed escaped.
std::string LabelValue(const std::string &text) {
    std::string out;
    for (const char c : text) {
        if (c == '\n') {
            out += "\\n";
        } else {
            if (c == '\\' || c == '"') out += '\\';
            out += c;
        }
    }
    return out;
}

// The Prometheus text exposition format, for a textfile collector: whether
// the port list could be read; one sample per port and interface, "device"
// as node_exporter names interfaces, so that a query can join link state to
// port numbers, and the PCI address with its domain, as the kernel writes
// it (none for a disabled port: 00:00.0 is the host bridge's); the number
// of ports, when the list was read.
std::string Metrics(const std::vector<Port> &ports, bool read) {
    std::string out =
        "# HELP tesmaron_read_success Whether the firmware's list of embedded network ports could be read.\n"
        "# TYPE tesmaron_read_success gauge\n"
        "tesmaron_read_success " +
        std::string(read ? "1" : "0") + "\n";
    if (!read) return out;
    out +=
        "# HELP tesmaron_port_info Embedded network port: its number in the firmware's order, its PCI address (empty "
        "when disabled) and an interface on it.\n"
        "# TYPE tesmaron_port_info gauge\n";
    for (const Port &port : ports) {
        const std::string labels = "tesmaron_port_info{port=\"" + std::to_string(port.number) + "\",pci=\"" +
                                   (port.disabled ? "" : "0000:" + PciText(port.address)) + "\",device=\"";
        if (port.interfaces.empty()) out += labels + "\"} 1\n";
        for (const std::string &name : port.interfaces) out += labels + LabelValue(name) + "\"} 1\n";
    }
    return out +
           "# HELP tesmaron_ports Embedded network ports the firmware lists.\n"
           "# TYPE tesmaron_ports gauge\n"
           "tesmaron_ports " +
           std::to_string(ports.size()) + "\n";
}

}  // namespace

std::string Render(Form form, const std::vector<Port> &ports, bool read) {
    switch (form) {
        case Form::LINES:
            return Lines(ports);
        case Form::JSON:
            return Json(ports);
        case Form::METRICS:
            return Metrics(ports, read);
    }
    return "";
}

}  // namespace tesmaron::tool
