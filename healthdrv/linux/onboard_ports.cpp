// SPDX-License-Identifier: MIT
// The type-41 Ethernet entries as a port structure, read from the kernel's
// table or its entries folder.
#include "onboard_ports.h"

#include <cerrno>
#include <climits>
#include <cstdio>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "smbios/onboard_devices.h"

namespace tesmaron::linux_device {

namespace {

// An entry taken into the list, in number order (table order within one
// number), unless the same number at the same function is there already.
void Take(const smbios::OnboardDevice &device, const char *pci_root, OnboardPorts &ports, uint32_t &count) {
    if (device.device_type != smbios::DEVICE_TYPE_ETHERNET || !device.enabled || !device.has_address ||
        device.segment != 0 || !FunctionPresent(pci_root, 0, device.bus, device.devfn)) {
        return;
    }
    auto *entries = reinterpret_cast<PortEntry *>(ports.structure + PORT_STRUCTURE_HEADER_SIZE);
    uint32_t at = count;
    for (uint32_t i = 0; i < count; ++i) {
        if (ports.numbers[i] == device.instance && entries[i].bus == device.bus && entries[i].devfn == device.devfn)
            return;
        if (at == count && ports.numbers[i] > device.instance) at = i;
    }
    if (count == MOST_PORTS) return;
    for (uint32_t i = count; i > at; --i) {
        entries[i] = entries[i - 1];
        ports.numbers[i] = ports.numbers[i - 1];
    }
    entries[at] = PortEntry{device.devfn, device.bus, {}};
    ports.numbers[at] = device.instance;
    ++count;
}

void TakeStructure(const uint8_t *bytes, size_t size, const char *pci_root, OnboardPorts &ports, uint32_t &count) {
    smbios::OnboardDevice device;
    if (smbios::ReadOnboardDevice(bytes, size, device)) Take(device, pci_root, ports, count);
}

// Every type-41 structure of the table in one walk, a page at a time; each
// one's formatted area read where the walk found it.
bool FromTable(int table, smbios::TableEnd table_end, const char *pci_root, OnboardPorts &ports, uint32_t &count) {
    uint8_t page[4096], structure[256];
    smbios::TableWalk walk = smbios::StartWalk(smbios::ONBOARD_DEVICES_TYPE, 0, table_end);
    for (uint64_t start = 0; walk.end == smbios::WalkEnd::WALKING;) {
        const long got = ReadAt(table, start, page, sizeof(page));
        if (got < 0) return false;
        if (got == 0) smbios::FinishWalk(walk);
        const uint64_t end = start + static_cast<uint64_t>(got);
        while (walk.end == smbios::WalkEnd::WALKING && walk.offset < end) {
            smbios::WalkTable(walk, page + (walk.offset - start), static_cast<size_t>(end - walk.offset));
            if (walk.end != smbios::WalkEnd::FOUND) break;
            const long read = ReadAt(table, walk.structure_offset, structure, walk.structure_length);
            if (read < 0) return false;
            TakeStructure(structure, static_cast<size_t>(read), pci_root, ports, count);
            smbios::ResumeWalk(walk);
        }
        start = end;
    }
    return true;
}

// The entries folder: 41-0/raw, 41-1/raw, ... until one is not there.
void FromEntries(int folder, const char *pci_root, OnboardPorts &ports, uint32_t &count) {
    uint8_t structure[256];
    for (unsigned instance = 0;; ++instance) {
        char name[32];
        std::snprintf(name, sizeof(name), "41-%u/raw", instance);
        const int fd = OpenFirmwareFile(folder, name);
        if (fd < 0 && errno != EINVAL) return;  // not there (or not to be read): the last was the last
        const long read = fd >= 0 ? ReadAt(fd, 0, structure, 255) : -1;
        if (fd >= 0) close(fd);
        if (read > 0) TakeStructure(structure, static_cast<size_t>(read), pci_root, ports, count);
    }
}

}  // namespace

int OpenFirmwareFile(int folder, const char *path) {
    const int fd = openat(folder, path, O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    struct stat info;
    if (fd < 0 || (fstat(fd, &info) == 0 && S_ISREG(info.st_mode))) return fd;
    close(fd);
    errno = EINVAL;
    return -1;
}

long ReadAt(int fd, uint64_t offset, uint8_t *out, uint32_t size) {
    uint32_t done = 0;
    while (done < size) {
        const ssize_t got = pread(fd, out + done, size - done, static_cast<off_t>(offset + done));
        if (got == 0) break;
        if (got < 0) {
            if (errno == EINTR) continue;
            return -1;
        }
        done += static_cast<uint32_t>(got);
    }
    return done;
}

bool ListsFunctions(const char *root) {
    const int fd = open(root, O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return false;
    alignas(dirent64) char names[4096];
    const ssize_t got = getdents64(fd, names, sizeof(names));
    close(fd);
    for (ssize_t at = 0; at < got;) {
        const auto *entry = reinterpret_cast<const dirent64 *>(names + at);
        if (entry->d_name[0] != '.') return true;
        at += entry->d_reclen;
    }
    return false;
}

bool FunctionPresent(const char *pci_root, uint16_t segment, uint8_t bus, uint8_t devfn) {
    if (pci_root == nullptr) return true;
    char function[PATH_MAX];
    std::snprintf(function, sizeof(function), "%s/%04x:%02x:%02x.%x", pci_root, unsigned{segment}, unsigned{bus},
                  unsigned{devfn} >> 3, unsigned{devfn} & 7u);
    struct stat info;
    return stat(function, &info) == 0;
}

bool ReadOnboardPorts(int source, bool entries_folder, smbios::TableEnd table_end, const char *pci_root,
                      OnboardPorts &ports) {
    uint32_t count = 0;
    if (entries_folder) {
        FromEntries(source, pci_root, ports, count);
    } else if (!FromTable(source, table_end, pci_root, ports, count)) {
        return false;
    }
    ports.size = count == 0 ? 0 : PORT_STRUCTURE_HEADER_SIZE + count * static_cast<uint32_t>(sizeof(PortEntry));
    ports.structure[0] = PORT_STRUCTURE_TYPE;
    ports.structure[1] = static_cast<uint8_t>(ports.size);
    ports.structure[2] = ports.structure[3] = 0;
    return true;
}

}  // namespace tesmaron::linux_device
