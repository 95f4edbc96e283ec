// SPDX-License-Identifier: MIT
/*
 * tesmaron.h -- map a server's embedded network ports between their port
 * number and the PCI address of each port's controller function.
 *
 * Port numbers are 1, 2, 3 ... in the order in which the system firmware
 * lists the embedded ports (SMBIOS structure type 209). A PCI address is
 * bus (0-255), device (0-31) and function (0-7).
 *
 * The library reads the firmware's port list once, when it is loaded into a
 * process, through the health driver's device ("\\.\ZolHlth" on Windows;
 * on Linux the kernel's copy of the SMBIOS table, /sys/firmware/dmi/tables/DMI,
 * or /sys/firmware/dmi/entries on kernels before 4.2; both readable by root
 * only). If the device is missing or does not answer, the library still
 * loads and both lookups report "not found".
 *
 * Thread safety: both functions only read state that is fixed once loading
 * has finished; any number of threads may call them at the same time. They
 * do no I/O, allocate nothing and take no lock.
 *
 * Calling convention: the platform's C convention. On 32-bit x86 Windows that
 * is __cdecl (the caller removes the arguments); the DLL exports undecorated
 * names, LookupByPCIAddress at ordinal 1 and LookupByPortNumber at ordinal 2.
 * A build with another convention would have to carry another DLL name.
 */
#ifndef TESMARON_H
#define TESMARON_H

#define TESMARON_VERSION_MAJOR 1
#define TESMARON_VERSION_MINOR 0
#define TESMARON_VERSION_PATCH 0
#define TESMARON_VERSION_BUILD 0
#define TESMARON_VERSION_STRING "1.0.0.0"

#ifndef RC_INVOKED /* the resource compiler reads only the version above */

#include <stdint.h>

#if defined(_WIN32) && !defined(_WIN64)
#define TESMARON_CALL __cdecl
#else
#define TESMARON_CALL
#endif

#ifdef __cplusplus
extern "C" {
#endif

/*
 * LookupByPCIAddress: which port number does a PCI function have?
 *
 *   bus, device, function  the PCI address. Only the low 8 bits of bus, the
 *                          low 5 bits of device and the low 3 bits of function
 *                          are used (device 33 means device 1).
 *   port_out               receives the port number (1-based; on Linux
 *                          with type-41 ports, the firmware's instance).
 *
 * Returns 1 when a port has this address, else 0. *port_out is always
 * written: the port number when found, 0 when not. If two ports share an
 * address, the lower port number is given. A NULL port_out makes the call
 * return 0 without writing anything.
 */
uint32_t TESMARON_CALL LookupByPCIAddress(uint32_t bus, uint32_t device, uint32_t function, uint32_t *port_out);

/*
 * LookupByPortNumber: which PCI function does a port number name?
 *
 *   bus_out, device_out, function_out  receive the PCI address: bus 0-255,
 *                                      device 0-31, function 0-7.
 *   port                               the port number, 1 to the number of
 *                                      embedded ports.
 *
 * Returns 1 when the port exists, else 0. On 0 (port 0, a port past the last
 * one, no port list loaded, or any NULL out-pointer) none of the outputs is
 * written.
 *
 * Every entry of the firmware's list is a port, in its place: an entry the
 * firmware marks disabled reads back as 00:00.0, as the firmware lists it,
 * and returns 1. A loop over port numbers therefore stops only after the last
 * port, never at a disabled one:
 *
 *   for (port = 1; LookupByPortNumber(&bus, &device, &function, port); ++port)
 *
 * On Linux, where the machine confirms no type-209 list, the ports are the
 * firmware's standard onboard devices (SMBIOS type 41) at this machine's PCI
 * functions, numbered by their instances as the firmware gives them (and as
 * tesmaron-ports and udev number them): they may start at 0, 1 or 49, and
 * a number two of them share answers neither. There, ask every number:
 *
 *   for (port = 0; port < 256; ++port)
 *       if (LookupByPortNumber(&bus, &device, &function, port)) ...
 */
uint32_t TESMARON_CALL LookupByPortNumber(uint32_t *bus_out, uint32_t *device_out, uint32_t *function_out,
                                          uint32_t port);

#ifdef __cplusplus
}
#endif

#endif /* RC_INVOKED */
#endif /* TESMARON_H */
