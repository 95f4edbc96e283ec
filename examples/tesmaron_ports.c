/*
 * tesmaron-ports: lists the embedded network ports of this machine with the
 * PCI address of each, or answers one question about them.
 *
 *   tesmaron-ports                  every port: "1  02:00.0", ...
 *   tesmaron-ports --port N         the PCI address of port N
 *   tesmaron-ports --pci BB:DD.F    the port number of a PCI function (hex)
 *
 * Exit code: 0 when found, 1 when nothing is found, 2 on bad arguments.
 */
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <tesmaron.h>

static int usage(const char *message) {
    fprintf(stderr, "tesmaron-ports: %s\n", message);
    fprintf(stderr, "usage: tesmaron-ports [--port N | --pci BB:DD.F]\n");
    return 2;
}

static int list_ports(void) {
    uint32_t bus, device, function, port;
    for (port = 1; LookupByPortNumber(&bus, &device, &function, port); ++port) {
        printf("%u  %02x:%02x.%x\n", port, bus, device, function);
    }
    if (port == 1) {
        fprintf(stderr, "tesmaron-ports: no embedded network ports found "
                        "(is the health driver running?)\n");
        return 1;
    }
    return 0;
}

static int show_port(const char *text) {
    char *end;
    unsigned long port = strtoul(text, &end, 10);
    uint32_t bus, device, function;
    if (*text < '0' || *text > '9' || *end != '\0' || port == 0 || port > 0xFFFFFFFFul) {
        return usage("--port needs a port number from 1 up");
    }
    if (!LookupByPortNumber(&bus, &device, &function, (uint32_t)port)) {
        fprintf(stderr, "tesmaron-ports: there is no port %lu\n", port);
        return 1;
    }
    printf("%lu  %02x:%02x.%x\n", port, bus, device, function);
    return 0;
}

static int show_pci(const char *text) {
    unsigned int bus, device, function, port;
    char tail;
    if (sscanf(text, "%2x:%2x.%1x%c", &bus, &device, &function, &tail) != 3 || device > 0x1F ||
        function > 7) {
        return usage("--pci needs a PCI address BB:DD.F in hex, device 00-1f, function 0-7");
    }
    if (!LookupByPCIAddress(bus, device, function, &port)) {
        fprintf(stderr, "tesmaron-ports: no embedded port at %02x:%02x.%x\n", bus, device, function);
        return 1;
    }
    printf("%u  %02x:%02x.%x\n", port, bus, device, function);
    return 0;
}

int main(int argc, char **argv) {
    if (argc == 1) return list_ports();
    if (argc == 3 && strcmp(argv[1], "--port") == 0) return show_port(argv[2]);
    if (argc == 3 && strcmp(argv[1], "--pci") == 0) return show_pci(argv[2]);
    return usage("unknown arguments");
}
