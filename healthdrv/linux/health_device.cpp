// SPDX-License-Identifier: MIT
// The health device on Linux: CreateFileA, DeviceIoControl and CloseHandle
// for the one device the library opens, answered from the kernel's copy of
// the SMBIOS table. A handle is the file descriptor of the table file, or of
// the entries folder.
#include <cerrno>
#include <climits>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "health_device.h"
#include "onboard_ports.h"
#include "healthdrv/health_driver.h"
#include "portmap/port_table.h"
#include "smbios/table_location.h"
#include "smbios/table_walk.h"

namespace tesmaron::linux_device {

namespace {

int DescriptorOf(HANDLE handle) { return static_cast<int>(reinterpret_cast<intptr_t>(handle)); }

// Where the answer to a request comes from: the bytes of one structure in an
// open file; or no such structure; or a failure to read.
enum class Lookup { FOUND, ABSENT, FAILED };
struct Found {
    Lookup lookup;
    int fd;
    uint64_t offset, size;
};

Found InEntries(int folder, uint8_t type, uint8_t instance) {
    char name[32];
    std::snprintf(name, sizeof(name), "%u-%u/raw", unsigned{type}, unsigned{instance});
    const int fd = OpenFirmwareFile(folder, name);
    if (fd < 0) return {errno == ENOENT ? Lookup::ABSENT : Lookup::FAILED, -1, 0, 0};
    return {Lookup::FOUND, fd, 0, UINT64_MAX};
}

// How far the open table goes, from its entry point, read when it is opened.
smbios::TableEnd table_end = smbios::BARE_TABLE_END;

// The table is walked a page at a time, since sysfs hands a binary file out
// in pieces of at most a page: no copy of the table is kept, and no size
// limit applies beyond the table's own.
Found InTable(int table, uint8_t type, uint8_t instance) {
    uint8_t page[4096];
    smbios::TableWalk walk = smbios::StartWalk(type, instance, table_end);
    for (uint64_t at = 0; walk.end == smbios::WalkEnd::WALKING;) {
        const long got = ReadAt(table, at, page, sizeof(page));
        if (got < 0) return {Lookup::FAILED, -1, 0, 0};
        if (got == 0) smbios::FinishWalk(walk);
        smbios::WalkTable(walk, page, static_cast<size_t>(got));
        at += static_cast<uint64_t>(got);
    }
    // A table that breaks, or is cut short, before the structure is found
    // could not be read: the request fails, as the driver's would.
    if (walk.end == smbios::WalkEnd::NOT_IN_TABLE) return {Lookup::ABSENT, -1, 0, 0};
    if (walk.end != smbios::WalkEnd::FOUND) return {Lookup::FAILED, -1, 0, 0};
    return {Lookup::FOUND, table, walk.structure_offset, walk.structure_size};
}

// The library asks for the same structure twice, its length and then all of
// it: the second answer comes from where the first walk found it, so that
// the table is walked once per load (udev's program loads the library for
// every interface at boot). Kept only while the handle is open.
struct Remembered {
    int fd = -1;
    uint8_t type = 0, instance = 0;
    Found found{};
};
Remembered remembered;

Found InTableOnce(int table, uint8_t type, uint8_t instance) {
    if (remembered.fd == table && remembered.type == type && remembered.instance == instance) return remembered.found;
    const Found found = InTable(table, type, instance);
    if (found.lookup != Lookup::FAILED) remembered = {table, type, instance, found};
    return found;
}

// The answer for a structure the firmware does not list: status 0.
BOOL NoSuchStructure(uint8_t *out, LPDWORD bytes_returned) {
    out[0] = out[1] = 0;
    if (bytes_returned != nullptr) *bytes_returned = 2;
    return 1;
}

// The machine's PCI functions, for the open table's port structure to be
// checked against; null: not checked (nor where it lists no function).
const char *pci_root = nullptr;

const char *PciRootThatTells() { return pci_root != nullptr && ListsFunctions(pci_root) ? pci_root : nullptr; }

// A port structure names this machine when one of its enabled ports is at
// a PCI function the machine has (a stat of each, at most 31); a list of
// ports none of which is here describes some other machine, or is no port
// list at all. A machine that lists no PCI function cannot tell: believed.
bool NamesThisMachine(const uint8_t *structure) {
    const PortTable table = PortTableOf(structure);
    const char *root = PciRootThatTells();
    if (root == nullptr || table.entry_count == 0) return true;
    for (uint32_t i = 0; i < table.entry_count; ++i) {
        const PortEntry &entry = table.entries[i];
        if (entry.bus == 0 && entry.devfn == 0) continue;  // disabled
        if (FunctionPresent(root, 0, entry.bus, entry.devfn)) return true;
    }
    return false;
}

// Where no port structure stands, the type-41 Ethernet entries are the
// ports: read once per open handle, as the library asks twice.
OnboardPorts onboard;
int onboard_fd = -1;

const OnboardPorts *OnboardPortsOf(int source, bool entries_folder) {
    if (onboard_fd != source) {
        onboard = {};
        if (!ReadOnboardPorts(source, entries_folder, table_end, PciRootThatTells(), onboard)) return nullptr;
        onboard_fd = source;
    }
    return &onboard;
}

// The answer to a request for the port structure where the firmware's
// stands not: the type-41 ports as one, their numbers published beside the
// table; or none.
BOOL OnboardAnswer(int source, bool entries_folder, uint8_t *out, uint32_t out_size, LPDWORD bytes_returned) {
    const OnboardPorts *ports = OnboardPortsOf(source, entries_folder);
    if (ports == nullptr) return 0;
    if (ports->size == 0) return NoSuchStructure(out, bytes_returned);
    const uint32_t size = ports->size < out_size - 2 ? ports->size : out_size - 2;
    out[0] = 1;
    out[1] = 0;
    std::memcpy(out + 2, ports->structure, size);
    PublishPortNumbers(ports->numbers);
    if (bytes_returned != nullptr) *bytes_returned = size + 2;
    return 1;
}

}  // namespace

// The table's entry point, a few bytes beside it, says how far the table
// goes; where it cannot be read, the table is taken as the kernel's copy.
smbios::TableEnd TableEndFrom(const char *entry_point_path) {
    uint8_t entry_point[32];
    const int fd = OpenFirmwareFile(AT_FDCWD, entry_point_path);
    if (fd < 0) return smbios::BARE_TABLE_END;
    const long got = ReadAt(fd, 0, entry_point, sizeof(entry_point));
    close(fd);
    if (got <= 0) return smbios::BARE_TABLE_END;
    const smbios::TableLocation where = smbios::ReadEntryPoint(entry_point, static_cast<size_t>(got));
    return where.fault == smbios::LocateFault::NONE ? smbios::TableEndOf(where) : smbios::BARE_TABLE_END;
}

HANDLE OpenSmbiosTables(const char *entry_point_path, const char *table_path, const char *entries_root,
                        const char *pci_devices_root) {
    remembered = {};
    onboard_fd = -1;
    pci_root = pci_devices_root;
    int fd = OpenFirmwareFile(AT_FDCWD, table_path);
    if (fd >= 0) table_end = TableEndFrom(entry_point_path);
    if (fd < 0 && errno == ENOENT) fd = open(entries_root, O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    return fd < 0 ? INVALID_HANDLE_VALUE : reinterpret_cast<HANDLE>(static_cast<intptr_t>(fd));
}

}  // namespace tesmaron::linux_device

using namespace tesmaron;
using namespace tesmaron::linux_device;

extern "C" HANDLE CreateFileA(LPCSTR file_name, DWORD, DWORD, LPSECURITY_ATTRIBUTES, DWORD, DWORD, HANDLE) {
    if (file_name == nullptr || std::strcmp(file_name, HEALTH_DEVICE_PATH) != 0) {
        return INVALID_HANDLE_VALUE;
    }
    return OpenSmbiosTables(DMI_ENTRY_POINT_PATH, DMI_TABLE_PATH, DMI_ENTRIES_ROOT, PCI_DEVICES_ROOT);
}

// Answers a health request: status 1 and the structure's bytes (its strings
// included, as the kernel's entries hold them), cut to fit the output
// buffer; or status 0 when the firmware lists no such structure, or a port
// structure that names no PCI function of this machine. Linux stands in for
// the driver here, so it never answers from bytes it did not read: a
// structure shorter than its own length byte fails the request.
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

    const int source = DescriptorOf(device);
    struct stat info;
    if (fstat(source, &info) != 0) return 0;
    const Found found = S_ISDIR(info.st_mode) ? InEntries(source, request.structure_type, request.selector)
                                              : InTableOnce(source, request.structure_type, request.selector);
    if (found.lookup == Lookup::FAILED) return 0;
    auto *out = static_cast<uint8_t *>(out_buffer);
    const bool port_structure = request.structure_type == PORT_STRUCTURE_TYPE && request.selector == 0;
    if (found.lookup == Lookup::ABSENT && port_structure)
        return OnboardAnswer(source, S_ISDIR(info.st_mode), out, out_buffer_size, bytes_returned);
    if (found.lookup == Lookup::ABSENT) return NoSuchStructure(out, bytes_returned);
    const uint32_t room = out_buffer_size - 2;
    const long got =
        ReadAt(found.fd, found.offset, out + 2, found.size < room ? static_cast<uint32_t>(found.size) : room);
    if (found.fd != source) close(found.fd);
    if (got < 0) return 0;
    // The header, and the formatted area as long as its length byte says (or
    // as the buffer holds), or the request fails.
    const uint32_t read = static_cast<uint32_t>(got);
    if (read < smbios::STRUCTURE_HEADER_SIZE || read < (out[3] < room ? out[3] : room)) return 0;
    if (port_structure && !NamesThisMachine(out + 2))
        return OnboardAnswer(source, S_ISDIR(info.st_mode), out, out_buffer_size, bytes_returned);
    out[0] = 1;
    out[1] = 0;
    if (bytes_returned != nullptr) *bytes_returned = static_cast<DWORD>(got + 2);
    return 1;
}

extern "C" BOOL CloseHandle(HANDLE object) {
    if (DescriptorOf(object) == remembered.fd) remembered = {};
    if (DescriptorOf(object) == onboard_fd) onboard_fd = -1;
    return close(DescriptorOf(object)) == 0;
}
