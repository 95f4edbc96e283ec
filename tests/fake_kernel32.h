// SPDX-License-Identifier: MIT
// A scripted stand-in for the health device, linked into test programs in
// place of the platform's CreateFileA, DeviceIoControl and CloseHandle. It
// answers requests from a script and records everything it was given.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "platform/kernel32.h"

namespace fake {

inline const HANDLE DEVICE = reinterpret_cast<HANDLE>(static_cast<intptr_t>(0x4D));

struct Reply {
    bool succeed = true;         // the DeviceIoControl result
    std::vector<uint8_t> bytes;  // written to the output buffer, cut to fit
};

struct Open {
    std::string path;
    DWORD access, share, disposition, flags;
    bool security_null, template_null;
};

struct Request {
    HANDLE device;
    DWORD code;
    std::array<uint8_t, 16> bytes;
    DWORD in_size, out_size;
    bool output_was_cleared;  // every output byte was zero at the call
    bool synchronous;         // no overlapped structure given
    bool has_bytes_returned;
};

struct Device {
    // Script.
    bool open_fails = false;
    std::vector<Reply> replies;  // one per request; a request past them fails
    // Record.
    std::vector<Open> opens;
    std::vector<Request> requests;
    std::vector<HANDLE> closes;
};

extern Device device;

inline void Reset() { device = Device{}; }

}  // namespace fake
