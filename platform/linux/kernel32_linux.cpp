// CreateFileA, DeviceIoControl and CloseHandle for the one device the library
// opens, answered from the kernel's SMBIOS entries. A handle is the file
// descriptor of the entries folder.
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

#include "healthdrv/health_driver.h"
#include "smbios_device.h"

namespace tesmaron::linux_platform {

namespace {

int DescriptorOf(HANDLE handle) { return static_cast<int>(reinterpret_cast<intptr_t>(handle)); }

// Reads up to size bytes; -1 on a read error.
long ReadAll(int fd, uint8_t *out, uint32_t size) {
    uint32_t done = 0;
    while (done < size) {
        const ssize_t got = read(fd, out + done, size - done);
        if (got == 0) break;
        if (got < 0) {
            if (errno == EINTR) continue;
            return -1;
        }
        done += static_cast<uint32_t>(got);
    }
    return done;
}

}  // namespace

HANDLE OpenSmbiosEntries(const char *root) {
    const int fd = open(root, O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    return fd < 0 ? INVALID_HANDLE_VALUE : reinterpret_cast<HANDLE>(static_cast<intptr_t>(fd));
}

}  // namespace tesmaron::linux_platform

using namespace tesmaron;
using namespace tesmaron::linux_platform;

extern "C" HANDLE CreateFileA(LPCSTR file_name, DWORD, DWORD, LPSECURITY_ATTRIBUTES, DWORD, DWORD, HANDLE) {
    if (file_name == nullptr || std::strcmp(file_name, HEALTH_DEVICE_PATH) != 0) {
        return INVALID_HANDLE_VALUE;
    }
    return OpenSmbiosEntries(DMI_ENTRIES_ROOT);
}

// Answers a health request: status 1 and the structure's bytes, cut to fit
// the output buffer, or status 0 when the firmware lists no such structure.
extern "C" BOOL DeviceIoControl(HANDLE device, DWORD io_control_code, LPVOID in_buffer, DWORD in_buffer_size,
                                LPVOID out_buffer, DWORD out_buffer_size, LPDWORD bytes_returned,
                                LPOVERLAPPED overlapped) {
    if (bytes_returned != nullptr) *bytes_returned = 0;
    if (io_control_code != IOCTL_HEALTH_REQUEST || overlapped != nullptr || in_buffer == nullptr ||
        in_buffer_size < sizeof(HealthRequest) || out_buffer == nullptr || out_buffer_size < REPLY_BODY_OFFSET) {
        return 0;
    }
    HealthRequest request;
    std::memcpy(&request, in_buffer, sizeof(request));
    if (request.command != HEALTH_COMMAND) return 0;

    char name[32];
    std::snprintf(name, sizeof(name), "%u-%u/raw", unsigned{request.structure_type}, unsigned{request.selector});
    auto *out = static_cast<uint8_t *>(out_buffer);
    const int fd = openat(DescriptorOf(device), name, O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        if (errno != ENOENT) return 0;
        out[0] = out[1] = 0;  // status 0: no such structure
        if (bytes_returned != nullptr) *bytes_returned = 2;
        return 1;
    }
    const long got = ReadAll(fd, out + 2, out_buffer_size - 2);
    close(fd);
    if (got < 0) return 0;
    out[0] = 1;
    out[1] = 0;
    if (bytes_returned != nullptr) *bytes_returned = static_cast<DWORD>(got + 2);
    return 1;
}

extern "C" BOOL CloseHandle(HANDLE object) { return close(DescriptorOf(object)) == 0; }
