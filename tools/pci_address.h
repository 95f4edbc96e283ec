// SPDX-License-Identifier: MIT
// A PCI function's address as tesmaron-ports reads, compares and writes it:
// bus, device and function, in text BB:DD.F in hex, as the kernel and lspci
// name functions.
#pragma once

#include <cstdint>
#include <string>

namespace tesmaron::tool {

struct PciAddress {
    uint32_t bus, device, function;
    friend bool operator==(const PciAddress &, const PciAddress &) = default;
};

// "BB:DD.F" or "DDDD:BB:DD.F", hex digits of either case: one or two for the
// bus and the device, one for the function, one to eight for the domain (0
// where none is given). False for anything else, and for a device above 1f
// or a function above 7.
bool ParsePciAddress(const char *text, PciAddress &address, uint32_t &domain);

std::string PciText(const PciAddress &address);  // BB:DD.F, hex

// DDDD:BB:DD.F, as the kernel names functions: the domain in four hex digits
// (more where it needs them).
std::string FunctionText(uint32_t domain, const PciAddress &address);

// BB:DD.F in domain 0000, and DDDD:BB:DD.F in any other.
std::string ShortFunctionText(uint32_t domain, const PciAddress &address);

}  // namespace tesmaron::tool
