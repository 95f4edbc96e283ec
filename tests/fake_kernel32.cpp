// SPDX-License-Identifier: MIT
#include "fake_kernel32.h"

#include <algorithm>
#include <cstring>

namespace fake {

Device device;

}  // namespace fake

extern "C" HANDLE CreateFileA(LPCSTR file_name, DWORD desired_access, DWORD share_mode,
                              LPSECURITY_ATTRIBUTES security_attributes, DWORD creation_disposition,
                              DWORD flags_and_attributes, HANDLE template_file) {
    fake::device.opens.push_back({file_name ? file_name : "(null)", desired_access, share_mode, creation_disposition,
                                  flags_and_attributes, security_attributes == nullptr, template_file == nullptr});
    return fake::device.open_fails ? INVALID_HANDLE_VALUE : fake::DEVICE;
}

extern "C" BOOL DeviceIoControl(HANDLE device, DWORD io_control_code, LPVOID in_buffer, DWORD in_buffer_size,
                                LPVOID out_buffer, DWORD out_buffer_size, LPDWORD bytes_returned,
                                LPOVERLAPPED overlapped) {
    fake::Request request{device,
                          io_control_code,
                          {},
                          in_buffer_size,
                          out_buffer_size,
                          true,
                          overlapped == nullptr,
                          bytes_returned != nullptr};
    std::memcpy(request.bytes.data(), in_buffer, std::min<DWORD>(in_buffer_size, 16));
    const auto *out = static_cast<const uint8_t *>(out_buffer);
    request.output_was_cleared = std::all_of(out, out + out_buffer_size, [](uint8_t b) { return b == 0; });
    const size_t index = fake::device.requests.size();
    fake::device.requests.push_back(request);

    if (index >= fake::device.replies.size() || !fake::device.replies[index].succeed) return 0;
    const std::vector<uint8_t> &bytes = fake::device.replies[index].bytes;
    const size_t n = std::min<size_t>(bytes.size(), out_buffer_size);
    if (n > 0) std::memcpy(out_buffer, bytes.data(), n);
    if (bytes_returned) *bytes_returned = static_cast<DWORD>(n);
    return 1;
}

extern "C" BOOL CloseHandle(HANDLE object) {
    fake::device.closes.push_back(object);
    return 1;
}
