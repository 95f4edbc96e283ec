// tesmaron_port_id: the embedded port a PCI function is, for udev.
//
//   tesmaron_port_id 0000:03:00.0
//
// prints TESMARON_PORT=<n> when the firmware's port list names port n at
// that function (the lowest, when several ports share it): exactly what
// LookupByPCIAddress answers, from the library as every program loads it.
// Prints nothing when no port is there, or no list could be read. Exits 0
// either way: an interface on no port is no failure of its udev event. 2
// only when it is not given one PCI function name.
//
// udev runs it once per network interface at boot, as root: it links the
// library and the C library and nothing else, and reads no file of its own.
#include <stdio.h>

#include "tesmaron.h"

int main(int argc, char **argv) {
    unsigned domain = 0, bus = 0, device = 0, function = 0;
    int end = 0;
    // A PCI device's kernel name, as udev's $id gives it: DDDD:BB:DD.F.
    if (argc != 2 || sscanf(argv[1], "%4x:%2x:%2x.%1x%n", &domain, &bus, &device, &function, &end) != 4 ||
        argv[1][end] != '\0' || device > 0x1F || function > 7) {
        fputs("usage: tesmaron_port_id DDDD:BB:DD.F (a PCI function, as udev's $id names it)\n", stderr);
        return 2;
    }
    uint32_t port = 0;
    // The firmware's list names domain 0000 only.
    if (domain == 0 && LookupByPCIAddress(bus, device, function, &port)) printf("TESMARON_PORT=%u\n", port);
    return 0;
}
