// SPDX-License-Identifier: MIT
// The one parser and the one writer of PCI addresses in tesmaron-ports: the
// command line's --pci, sysfs' function names, and every output form.
#include "pci_address.h"

#include <cctype>
#include <cinttypes>
#include <cstdio>
#include <cstring>

namespace tesmaron::tool {

namespace {

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

}  // namespace

bool ParsePciAddress(const char *text, PciAddress &address, uint32_t &domain) {
    const char *at = text;
    const bool has_domain = std::strchr(text, ':') != std::strrchr(text, ':');
    domain = 0;
    return (!has_domain || ParseHex(at, 8, ':', domain)) && ParseHex(at, 2, ':', address.bus) &&
           ParseHex(at, 2, '.', address.device) && ParseHex(at, 1, '\0', address.function) && address.device <= 0x1F &&
           address.function <= 7;
}

std::string PciText(const PciAddress &a) {
    char text[16];
    std::snprintf(text, sizeof(text), "%02" PRIx32 ":%02" PRIx32 ".%" PRIx32, a.bus, a.device, a.function);
    return text;
}

std::string FunctionText(uint32_t domain, const PciAddress &address) {
    char text[16];
    std::snprintf(text, sizeof(text), "%04" PRIx32 ":", domain);
    return text + PciText(address);
}

std::string ShortFunctionText(uint32_t domain, const PciAddress &address) {
    return domain == 0 ? PciText(address) : FunctionText(domain, address);
}

}  // namespace tesmaron::tool
