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

static char *put_hex(char *at, uint32_t value, int digits) {
    while (digits-- > 0) *at++ = "0123456789abcdef"[(value >> (4 * digits)) & 15];
    return at;
}

/* "P  BB:DD.F -> P\n" for ports 1 to 9. */
void __cdecl consumer_main(void) {
    uint32_t port, bus, device, function, back;
    unsigned long written;
    for (port = 1; port < 10 && LookupByPortNumber(&bus, &device, &function, port); ++port) {
        char line[32];
        char *at = line;
        *at++ = (char)('0' + port);
        *at++ = ' ';
        *at++ = ' ';
        at = put_hex(at, bus, 2);
        *at++ = ':';
        at = put_hex(at, device, 2);
        *at++ = '.';
        at = put_hex(at, function, 1);
        *at++ = ' ';
        *at++ = '-';
        *at++ = '>';
        *at++ = ' ';
        *at++ = LookupByPCIAddress(bus, device, function, &back) ? (char)('0' + back) : '?';
        *at++ = '\n';
        WriteFile(GetStdHandle(STD_OUTPUT_HANDLE), line, (unsigned long)(at - line), &written, 0);
    }
    ExitProcess(port > 1 ? 0 : 1);
}
