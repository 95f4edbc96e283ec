// SPDX-License-Identifier: MIT
// The three KERNEL32 operations the library uses to reach the health device.
// On Windows they are the system's own; elsewhere platform/<os>/ provides
// them with the same signatures, and the unit tests link a scripted fake.
#pragma once

#ifdef _WIN32

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>

#else

#include <cstdint>

typedef void *HANDLE;
typedef int BOOL;
typedef uint32_t DWORD;
typedef const char *LPCSTR;
typedef void *LPVOID;
typedef DWORD *LPDWORD;
typedef struct _SECURITY_ATTRIBUTES *LPSECURITY_ATTRIBUTES;
typedef struct _OVERLAPPED *LPOVERLAPPED;

#define INVALID_HANDLE_VALUE ((HANDLE)(intptr_t)-1)
#define GENERIC_READ 0x80000000u
#define GENERIC_WRITE 0x40000000u
#define FILE_SHARE_READ 0x00000001u
#define FILE_SHARE_WRITE 0x00000002u
#define OPEN_EXISTING 3u

extern "C" {
HANDLE CreateFileA(LPCSTR file_name, DWORD desired_access, DWORD share_mode, LPSECURITY_ATTRIBUTES security_attributes,
                   DWORD creation_disposition, DWORD flags_and_attributes, HANDLE template_file);
BOOL DeviceIoControl(HANDLE device, DWORD io_control_code, LPVOID in_buffer, DWORD in_buffer_size, LPVOID out_buffer,
                     DWORD out_buffer_size, LPDWORD bytes_returned, LPOVERLAPPED overlapped);
BOOL CloseHandle(HANDLE object);
}

#endif
