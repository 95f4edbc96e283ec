// tesmaron-ports: which network interface is which of the server's embedded
// ports. Lists the ports in the firmware's order with the PCI address of each
// and the system's names for its interfaces, or answers for one port.
#include <cctype>
#include <cinttypes>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include <tesmaron.h>

#include "system.h"

namespace {

const char SYNOPSIS[] =
    "usage: tesmaron-ports [--json] [--port N | --pci [0000:]BB:DD.F]\n"
    "       tesmaron-ports --help | --version\n";

const char DETAILS[] =
    "\n"
    "Lists the server's embedded network ports in the order the firmware gives\n"
    "them (port 1, 2, ...), each with the PCI address of its controller function\n"
    "and the system's names for its network interfaces ('-' for none):\n"
    "\n"
    "  1  02:00.0  eno1\n"
    "\n"
    "A port the firmware marks disabled keeps its number and shows as 00:00.0.\n"
    "\n"
    "  --port N      only port N (from 1)\n"
    "  --pci ADDR    only the port at PCI address BB:DD.F or 0000:BB:DD.F (hex)\n"
    "  --json        one JSON array on standard output, for scripts:\n"
    "                [{\"port\": 1, \"pci\": \"02:00.0\", \"interfaces\": [\"eno1\"]}]\n"
    "  -h, --help    this text\n"
    "  --version     the library's version\n"
    "\n"
    "Exit status: 0 when a port is found, 1 when none is (the reason goes to\n"
    "standard error), 2 on bad arguments.\n";

struct Port {
    uint32_t number;
    PciAddress address;
    std::vector<std::string> interfaces;
};

int BadArguments(const std::string &reason) {
    std::fprintf(stderr, "tesmaron-ports: %s\n%s", reason.c_str(), SYNOPSIS);
    return 2;
}

// 1 to max_digits hex digits, either case, then the delimiter (or the end).
bool ParseHex(const char *&at, int max_digits, char delimiter, uint32_t &value) {
    value = 0;
    int digits = 0;
    for (; digits < max_digits && std::isxdigit(static_cast<unsigned char>(*at)); ++at, ++digits) {
        const int c = std::tolower(static_cast<unsigned char>(*at));
        value = value * 16 + static_cast<uint32_t>(c <= '9' ? c - '0' : c - 'a' + 10);
    }
    if (digits == 0 || *at != delimiter) return false;
    if (delimiter != '\0') ++at;
    return true;
}

// BB:DD.F or DDDD:BB:DD.F. The firmware's list names no PCI domain: its ports
// are in domain 0000, and any other domain is refused with the reason.
bool ParsePci(const char *text, PciAddress &address, std::string &error) {
    const char *at = text;
    const bool has_domain = std::strchr(text, ':') != std::strrchr(text, ':');
    uint32_t domain = 0;
    if ((has_domain && !ParseHex(at, 4, ':', domain)) || !ParseHex(at, 2, ':', address.bus) ||
        !ParseHex(at, 2, '.', address.device) || !ParseHex(at, 1, '\0', address.function) || address.device > 0x1F ||
        address.function > 7) {
        error = std::string("--pci ") + text + ": not a PCI address BB:DD.F (hex; device 00-1f, function 0-7)";
        return false;
    }
    if (domain != 0) {
        char reason[160];
        std::snprintf(reason, sizeof(reason),
                      "--pci %s: PCI domain %04" PRIx32
                      " cannot be looked up; the firmware's port list "
                      "holds domain 0000 only",
                      text, domain);
        error = reason;
        return false;
    }
    return true;
}

bool ParsePort(const char *text, uint32_t &port) {
    char *end = nullptr;
    const unsigned long long value = std::strtoull(text, &end, 10);
    if (*text < '0' || *text > '9' || *end != '\0' || value == 0 || value > 0xFFFFFFFFull) return false;
    port = static_cast<uint32_t>(value);
    return true;
}

std::string PciText(const PciAddress &a) {
    char text[16];
    std::snprintf(text, sizeof(text), "%02" PRIx32 ":%02" PRIx32 ".%" PRIx32, a.bus, a.device, a.function);
    return text;
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

void PrintJson(const std::vector<Port> &ports) {
    std::string out = "[";
    for (const Port &port : ports) {
        if (out.size() > 1) out += ", ";
        out += "{\"port\": " + std::to_string(port.number) + ", \"pci\": \"" + PciText(port.address) +
               "\", \"interfaces\": [";
        for (size_t i = 0; i < port.interfaces.size(); ++i) out += (i ? ", " : "") + JsonString(port.interfaces[i]);
        out += "]}";
    }
    std::printf("%s]\n", out.c_str());
}

void PrintLines(const std::vector<Port> &ports) {
    for (const Port &port : ports) {
        std::string names;
        for (const std::string &name : port.interfaces) names += (names.empty() ? "" : ",") + name;
        std::printf("%" PRIu32 "  %s  %s\n", port.number, PciText(port.address).c_str(),
                    names.empty() ? "-" : names.c_str());
    }
}

bool PortAt(uint32_t number, Port &port) {
    port.number = number;
    if (!LookupByPortNumber(&port.address.bus, &port.address.device, &port.address.function, number)) return false;
    port.interfaces = InterfaceNames(port.address);
    return true;
}

std::vector<Port> AllPorts() {
    std::vector<Port> ports;
    Port port;
    // A disabled entry reads as 00:00.0 and keeps its place: the walk stops
    // only after the last port.
    for (uint32_t n = 1; PortAt(n, port); ++n) ports.push_back(port);
    return ports;
}

// Why nothing was found: the one port asked for is not there, or the
// system shows no port at all, and then why.
std::string NotFound(const std::string &what) {
    uint32_t count = 0, bus, device, function;
    while (LookupByPortNumber(&bus, &device, &function, count + 1)) ++count;
    if (count == 0) return "no embedded network ports found: " + NoPortsReason();
    return what + " (the firmware lists " + std::to_string(count) + (count == 1 ? " port)" : " ports)");
}

}  // namespace

int main(int argc, char **argv) {
    bool json = false;
    const char *port_text = nullptr, *pci_text = nullptr;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "-h" || arg == "--help") {
            std::printf("%s%s", SYNOPSIS, DETAILS);
            return 0;
        }
        if (arg == "--version") {
            std::printf("tesmaron %s\n", TESMARON_VERSION_STRING);
            return 0;
        }
        if (arg == "--json") {
            json = true;
        } else if (arg == "--port" || arg == "--pci") {
            if (i + 1 == argc) return BadArguments(arg + " needs a value");
            (arg == "--port" ? port_text : pci_text) = argv[++i];
        } else {
            return BadArguments("unknown argument '" + arg + "'");
        }
    }
    if (port_text != nullptr && pci_text != nullptr)
        return BadArguments("--port and --pci ask two questions; give one");

    std::vector<Port> ports;
    std::string missing;
    if (port_text != nullptr) {
        Port port;
        uint32_t number = 0;
        if (!ParsePort(port_text, number))
            return BadArguments(std::string("--port ") + port_text + ": not a port number from 1");
        if (PortAt(number, port))
            ports.push_back(port);
        else
            missing = NotFound("there is no port " + std::to_string(number));
    } else if (pci_text != nullptr) {
        Port port{0, {}, {}};
        std::string error;
        if (!ParsePci(pci_text, port.address, error)) return BadArguments(error);
        if (LookupByPCIAddress(port.address.bus, port.address.device, port.address.function, &port.number)) {
            port.interfaces = InterfaceNames(port.address);
            ports.push_back(port);
        } else {
            missing = NotFound("no embedded port at " + PciText(port.address));
        }
    } else {
        ports = AllPorts();
        if (ports.empty()) missing = NotFound("");
    }

    if (json)
        PrintJson(ports);
    else
        PrintLines(ports);
    if (!missing.empty()) {
        std::fprintf(stderr, "tesmaron-ports: %s\n", missing.c_str());
        return 1;
    }
    return 0;
}
