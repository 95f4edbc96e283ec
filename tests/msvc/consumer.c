// SPDX-License-Identifier: MIT
/* A program as a Visual Studio user would build it against the shipped
 * header and tesmaron.lib, with no C runtime: its own entry point, only
 * KERNEL32 besides tesmaron.dll. Compiled as C and as C++, and on x86 with
 * __stdcall as the default convention, so that the header's own convention
 * is what reaches the import library. Prints every port and its address,
 * then the port that each address maps back to. */
#include "tesmaron.h"

#ifdef __cplusplus
extern "C" {
#endif
__declspec(dllimport) void *__stdcall GetStdHandle(unsigned long which);
__declspec(dllimport) int __stdcall WriteFile(void *file, const void *bytes, unsigned long size, unsigned long *written,
                                              void *overlapped);
__declspec(dllimport) void __stdcall ExitProcess(unsigned int code);
#ifdef __cplusplus
}
#endif

#define STD_OUTPUT_HANDLE ((unsigned long)-11)

static void put_hex(char *at, uint32_t value, int digits) {
    while (digits-- > 0) *at++ = "0123456789abcdef"[(value >> (4 * digits)) & 15];
}

/* "P  BB:DD.F -> P" for ports 1 to 9, the second P from the reverse lookup. */
void __cdecl consumer_main(void) {
    static const char pattern[] = "P  BB:DD.F -> P\n";
    uint32_t port, bus, device, function, back;
    unsigned long written, i;
    for (port = 1; port < 10 && LookupByPortNumber(&bus, &device, &function, port); ++port) {
        char line[sizeof(pattern) - 1];
        for (i = 0; i < sizeof(line); ++i) line[i] = pattern[i]; /* no C runtime: no memcpy */
        line[0] = (char)('0' + port);
        put_hex(line + 3, bus, 2);
        put_hex(line + 6, device, 2);
        put_hex(line + 9, function, 1);
        line[14] = LookupByPCIAddress(bus, device, function, &back) ? (char)('0' + back) : '?';
        WriteFile(GetStdHandle(STD_OUTPUT_HANDLE), line, sizeof(line), &written, 0);
    }
    ExitProcess(port > 1 ? 0 : 1);
}
