// SPDX-License-Identifier: MIT
/*
 * list-ports: the smallest program over tesmaron. Lists every embedded
 * network port with its PCI address, then asks which port 02:00.1 is.
 */
#include <stdio.h>

#include <tesmaron.h>

int main(void) {
    uint32_t bus, device, function, port;

    /* Every port of the board, by number. A port the firmware marks
     * disabled reads as 00:00.0 and keeps its place; on Linux, where the
     * ports are the firmware's type-41 entries, numbers may start at 0 or
     * 49, so every number is asked. */
    for (port = 0; port < 256; ++port)
        if (LookupByPortNumber(&bus, &device, &function, port))
            printf("%u  %02x:%02x.%x\n", port, bus, device, function);

    /* Which port is PCI function 02:00.1? */
    if (LookupByPCIAddress(2, 0, 1, &port)) printf("02:00.1 is port %u\n", port);
    return 0;
}
