// Each output form in one place.
#include "forms.h"

#include <cinttypes>
#include <cstdio>

namespace {

// "1  02:00.0  eno1,eno2": the port, its PCI address, its interfaces or "-".
std::string Lines(const std::vector<Port> &ports) {
    std::string out;
    for (const Port &port : ports) {
        std::string names;
        for (const std::string &name : port.interfaces) names += (names.empty() ? "" : ",") + name;
        out += std::to_string(port.number) + "  " + PciText(port.address) + "  " + (names.empty() ? "-" : names) + "\n";
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

// One array, [] when nothing was found: a script always gets JSON.
std::string Json(const std::vector<Port> &ports) {
    std::string out = "[";
    for (const Port &port : ports) {
        if (out.size() > 1) out += ", ";
        out += "{\"port\": " + std::to_string(port.number) + ", \"pci\": \"" + PciText(port.address) +
               "\", \"interfaces\": [";
        for (size_t i = 0; i < port.interfaces.size(); ++i) out += (i ? ", " : "") + JsonString(port.interfaces[i]);
        out += "]}";
    }
    return out + "]\n";
}

}  // namespace

std::string Render(Form form, const std::vector<Port> &ports) {
    switch (form) {
        case Form::LINES:
            return Lines(ports);
        case Form::JSON:
            return Json(ports);
    }
    return "";
}
