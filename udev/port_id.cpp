// SPDX-License-Identifier: MIT
// tesmaron_port_id: the embedded port a PCI function is, for udev.
//
//   tesmaron_port_id 0000:03:00.0
//
// prints TESMARON_PORT=<n> when the firmware's port list names port n at
// that function (the lowest, when several ports share it): exactly what
// LookupByPCIAddress answers, from the library as every program loads it
// (which loads a list only where it names this machine's PCI functions).
// Prints nothing when no port is there, no list could be read, the
// function is in another PCI domain than 0000 (a VMD domain, 10000 and up):
// the firmware's list names domain 0000 only; or it is 0000:00:00.0, the
// host bridge, where the list puts only the ports it marks disabled. Exits 0 either way: an
// interface on no port is no failure of its udev event. 2, with the usage,
// only when it is not given one PCI function's name.
//
// udev runs it once per network interface at boot, as root: it links the
// library and the C library and nothing else, and reads no file of its own.
#include <stdio.h>

#include "tesmaron.h"

namespace {

int HexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// Exactly `digits` hex digits, then `end`.
bool Field(const char *&at, int digits, char end, uint32_t &value) {
    value = 0;
    for (int i = 0; i < digits; ++i, ++at) {
        if (HexDigit(*at) < 0) return false;
        value = value * 16 + static_cast<uint32_t>(HexDigit(*at));
    }
    return *at++ == end;
}

// A PCI function's kernel name, as udev's $id gives it: DDDD:BB:DD.F, the
// domain in four hex digits or more, and nothing around it.
bool ParseFunction(const char *name, bool &domain_zero, uint32_t &bus, uint32_t &device, uint32_t &function) {
    const char *at = name;
    int digits = 0;
    domain_zero = true;
    for (; HexDigit(*at) >= 0; ++at, ++digits) domain_zero = domain_zero && *at == '0';
    return digits >= 4 && *at++ == ':' && Field(at, 2, ':', bus) && Field(at, 2, '.', device) &&
           Field(at, 1, '\0', function) && device <= 0x1F && function <= 7;
}

}  // namespace

int main(int argc, char **argv) {
    bool domain_zero = false;
    uint32_t bus = 0, device = 0, function = 0, port = 0;
    if (argc != 2 || !ParseFunction(argv[1], domain_zero, bus, device, function)) {
        fputs("usage: tesmaron_port_id DDDD:BB:DD.F (a PCI function, as udev's $id names it)\n", stderr);
        return 2;
    }
    const bool host_bridge = bus == 0 && device == 0 && function == 0;
    if (domain_zero && !host_bridge && LookupByPCIAddress(bus, device, function, &port)) {
        printf("TESMARON_PORT=%u\n", port);
    }
    return 0;
}
