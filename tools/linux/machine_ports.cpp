// SPDX-License-Identifier: MIT
// Linux: the port list from the kernel's copy of the firmware's SMBIOS
// table, the files the library reads, in the same order.
#include "tools/machine_ports.h"

#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

#include "healthdrv/linux/health_device.h"
#include "smbios/onboard_devices.h"
#include "smbios/table_location.h"
#include "tools/firmware_table.h"

namespace tesmaron::tool {

using linux_device::DMI_ENTRIES_ROOT;
using linux_device::DMI_ENTRY_POINT_PATH;
using linux_device::DMI_TABLE_PATH;

namespace {

bool Denied(int error) { return error == EACCES || error == EPERM; }

// A file of the kernel's firmware tables, read whole: opened without
// waiting, and read only when it is a regular file, as sysfs' are (a FIFO
// in a faked /sys would make the tool wait for ever). 0, or why not.
int ReadFirmwareFile(const std::string &path, std::vector<uint8_t> &bytes) {
    bytes.clear();
    const int fd = open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0) return errno;
    struct stat info;
    int error = fstat(fd, &info) != 0 ? errno : S_ISREG(info.st_mode) ? 0 : NOT_A_REGULAR_FILE;
    std::FILE *file = error == 0 ? fdopen(fd, "rb") : nullptr;
    if (file == nullptr) {
        if (error == 0) error = errno;
        close(fd);
        return error;
    }
    error = ReadAllOf(file, bytes);
    std::fclose(file);
    return error;
}

std::string NeedsRoot(const std::string &path) { return "needs root to read " + path + " (permission denied)"; }

// The type-41 Ethernet entries, a folder each: 41-0, 41-1, ...
std::vector<Port> EntriesOnboardPorts(const std::string &root) {
    std::vector<Port> ports;
    std::vector<uint8_t> raw;
    for (int instance = 0; ReadFirmwareFile(root + "/41-" + std::to_string(instance) + "/raw", raw) == 0; ++instance) {
        smbios::OnboardDevice device;
        if (!smbios::ReadOnboardDevice(raw.data(), raw.size(), device)) continue;
        if (const std::optional<Port> port = OnboardPort(device)) ports.push_back(*port);
    }
    return ports;
}

// Kernels before 4.2 show only one folder per structure: the first port
// structure is entries/209-0/raw, the formatted area and its strings.
PortList EntriesPorts() {
    const std::string root = DMI_ENTRIES_ROOT;
    struct stat info;
    if (stat(root.c_str(), &info) != 0) {
        return Unreadable(std::string("the kernel exposes no firmware tables (neither ") + DMI_TABLE_PATH + " nor " +
                          root + " is there)");
    }
    const std::string raw = root + "/209-0/raw";
    std::vector<uint8_t> structure;
    const int error = ReadFirmwareFile(raw, structure);
    PortList list;
    if (error == ENOENT) {
        list = Listed({}, "the firmware lists no embedded network ports (" + root + "/209-0 is absent, and no " + root +
                              "/41-N is an Ethernet entry)");
    } else if (Denied(error)) {
        return Unreadable(NeedsRoot(raw));
    } else if (error != 0) {
        return Unreadable(raw + ": " + FileError(error));
    } else if (structure.size() < PORT_STRUCTURE_HEADER_SIZE || structure[1] > structure.size()) {
        return Unreadable(raw + " is cut short: " + std::to_string(structure.size()) +
                          " bytes, fewer than the structure's formatted area");
    } else {
        list = Listed(PortsOf(PortTableOf(structure.data())),
                      "the firmware's list of embedded network ports (" + raw + ") holds none");
    }
    list.onboard = EntriesOnboardPorts(root);
    return list;
}

// How far the kernel's table goes, from the entry point beside it, as the
// library reads it; where that cannot be read, as the kernel's own copy.
smbios::TableEnd KernelTableEnd() {
    std::vector<uint8_t> entry_point;
    if (ReadFirmwareFile(DMI_ENTRY_POINT_PATH, entry_point) != 0) return smbios::BARE_TABLE_END;
    const smbios::TableLocation where = smbios::ReadEntryPoint(entry_point.data(), entry_point.size());
    return where.fault == smbios::LocateFault::NONE ? smbios::TableEndOf(where) : smbios::BARE_TABLE_END;
}

}  // namespace

std::string MachineTableDump(std::string &dump) {
    std::vector<uint8_t> entry_point, table;
    int error = ReadFirmwareFile(DMI_TABLE_PATH, table);
    if (error == 0) error = ReadFirmwareFile(DMI_ENTRY_POINT_PATH, entry_point);
    if (error == ENOENT) {
        return std::string("the kernel exposes no whole firmware table (") + DMI_TABLE_PATH + " and " +
               DMI_ENTRY_POINT_PATH + ", since kernel 4.2)";
    }
    if (Denied(error)) return NeedsRoot(DMI_TABLE_PATH);
    if (error != 0) return std::string(DMI_TABLE_PATH) + ": " + FileError(error);
    uint8_t header[smbios::DUMP_TABLE_OFFSET];
    if (!smbios::DumpHeader(entry_point.data(), entry_point.size(), header)) {
        const smbios::TableLocation where = smbios::ReadEntryPoint(entry_point.data(), entry_point.size());
        if (where.fault == smbios::LocateFault::NONE && where.entry_point_length > sizeof(header)) {
            return std::string(DMI_ENTRY_POINT_PATH) + " holds an entry point of " +
                   std::to_string(where.entry_point_length) + " bytes, more than the " +
                   std::to_string(sizeof(header)) + " a dump's header holds";
        }
        return std::string(DMI_ENTRY_POINT_PATH) + " holds no entry point that can be read";
    }
    dump.assign(reinterpret_cast<const char *>(header), sizeof(header));
    dump.append(reinterpret_cast<const char *>(table.data()), table.size());
    return "";
}

std::string ThisProgram() { return ""; }

std::string OthersMayChangeProgram(const std::string &) { return ""; }

void ReportToSystemLog(const std::string &) {}

const char MACHINE_HELP[] =
    "On Linux the port list is the kernel's copy of the firmware's SMBIOS table,\n"
    "/sys/firmware/dmi/tables/DMI (/sys/firmware/dmi/entries before kernel 4.2),\n"
    "which only root may read. A pipe closed by its reader ends the tool by\n"
    "SIGPIPE, as it ends cat.\n";

PortList MachinePorts() {
    std::vector<uint8_t> table;
    const int error = ReadFirmwareFile(DMI_TABLE_PATH, table);
    if (error == ENOENT) return EntriesPorts();
    if (Denied(error)) return Unreadable(NeedsRoot(DMI_TABLE_PATH));
    if (error != 0) return Unreadable(std::string(DMI_TABLE_PATH) + ": " + FileError(error));
    return PortsFromTable(table.data(), table.size(), KernelTableEnd(), DMI_TABLE_PATH);
}

}  // namespace tesmaron::tool
