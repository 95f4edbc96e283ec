// SPDX-License-Identifier: MIT
/*
 * list-ports: the smallest program over tesmaron. Lists every embedded
 * network port with its PCI address, then asks which port 02:00.1 is.
 */
#include <stdio.h>

#include <tesmaron.h>

int main(void) {
    uint32_t bus, device, function, port;

    /* Every port of the board, in firmware order. A port the firmware marks
     * disabled reads as 00:00.0 and keeps its place. */
    for (port = 1; LookupByPortNumber(&bus, &device, &function, port); ++port)
        printf("%u  %02x:%02x.%x\n", port, bus, device, function);

    /* Which port is PCI function 02:00.1? */
    if (LookupByPCIAddress(2, 0, 1, &port)) printf("02:00.1 is port %u\n", port);
    return 0;
}
