// SPDX-License-Identifier: MIT
// Windows: the port list from the health driver, as the library reads it,
// and without the driver from the firmware's SMBIOS table, which Windows
// hands every program.
#include "tools/machine_ports.h"

#include <windows.h>

#include <string>
#include <vector>

#include "error_text.h"
#include "healthdrv/health_driver.h"
#include "smbios/table_location.h"
#include "tools/firmware_table.h"

namespace tesmaron::tool {

namespace {

// The firmware's SMBIOS table as Windows hands it to every program, driver
// or not: an 8-byte header, then the table. Empty when it cannot be read.
std::vector<uint8_t> RawSmbiosTable() {
    constexpr DWORD RSMB = 'R' << 24 | 'S' << 16 | 'M' << 8 | 'B';
    const UINT size = GetSystemFirmwareTable(RSMB, 0, nullptr, 0);
    std::vector<uint8_t> data(size);
    if (size == 0 || GetSystemFirmwareTable(RSMB, 0, data.data(), size) != size) data.clear();
    return data;
}

}  // namespace

std::string MachineTableDump(std::string &dump) {
    const std::vector<uint8_t> raw = RawSmbiosTable();
    if (raw.empty()) return "the firmware's SMBIOS table cannot be read (" + ErrorText(GetLastError()) + ")";
    const smbios::TableLocation where = smbios::LocateRawSmbiosTable(raw.data(), raw.size());
    if (where.fault != smbios::LocateFault::NONE) return "the firmware's SMBIOS table as Windows gives it is cut short";
    uint8_t header[smbios::DUMP_TABLE_OFFSET];
    smbios::DumpHeaderFor(raw[1], raw[2], raw[3], raw.data() + where.offset, static_cast<uint32_t>(where.length),
                          header);
    dump.assign(reinterpret_cast<const char *>(header), sizeof(header));
    dump.append(reinterpret_cast<const char *>(raw.data() + where.offset), static_cast<size_t>(where.length));
    return "";
}

std::string ThisProgram() {
    std::wstring path(32768, L'\0');
    const DWORD size = GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
    if (size == 0 || size >= path.size()) return "";
    path.resize(size);
    return Utf8(path.c_str());
}

const char MACHINE_HELP[] =
    "On Windows the port list comes from the health driver's device \\\\.\\ZolHlth,\n"
    "which may need an administrator; where the driver is not installed, from\n"
    "the firmware's SMBIOS table, which Windows gives every program\n"
    "(GetSystemFirmwareTable).\n";

PortList MachinePorts() {
    // The firmware's table, for the onboard devices; and for the port list
    // where the driver cannot give it.
    const std::vector<uint8_t> raw = RawSmbiosTable();
    const DWORD raw_error = GetLastError();
    PortList firmware = raw.empty() ? PortList{} : PortsFromRawSmbios(raw);
    HANDLE device = CreateFileA(HEALTH_DEVICE_PATH, HEALTH_DEVICE_ACCESS, HEALTH_DEVICE_SHARE, nullptr,
                                HEALTH_DEVICE_DISPOSITION, 0, nullptr);
    std::string driver;
    if (device == INVALID_HANDLE_VALUE) {
        const DWORD error = GetLastError();
        driver = std::string("the health device ") + HEALTH_DEVICE_PATH + " cannot be opened (" + ErrorText(error) +
                 (error == ERROR_ACCESS_DENIED ? "; it needs an administrator)" : ")");
    } else {
        // The exchange the library makes at load, into a reply area of the
        // tool's own, so that the whole of each entry can be read.
        static HealthReply reply;
        const PortStructureFetch fetch = FetchPortStructure(device, reply.bytes);
        const DWORD error = GetLastError();
        CloseHandle(device);
        PortList list;
        if (fetch == PortStructureFetch::FETCHED) {
            list = Listed(PortsOf(PortTableOf(reply.bytes + REPLY_STRUCTURE_OFFSET)),
                          "the health driver's list of embedded network ports holds none");
        } else if (fetch == PortStructureFetch::NOT_LISTED) {
            list = Listed({}, "the health driver lists no embedded network ports");
        }
        if (list.read) {
            list.onboard = firmware.onboard;
            return list;
        }
        driver = std::string("the health device ") + HEALTH_DEVICE_PATH + " does not answer (" + ErrorText(error) + ")";
    }
    // The health driver cannot be read, but the firmware's table is there
    // for the tool to read itself.
    if (raw.empty()) {
        return Unreadable(driver + ", and the firmware's SMBIOS table cannot be read (error " +
                          std::to_string(raw_error) + ")");
    }
    if (firmware.ports.empty()) {
        firmware.reason = driver + ", and " + firmware.reason;
        return firmware;
    }
    firmware.origin = "ports read from the firmware's SMBIOS table: " + driver;
    return firmware;
}

}  // namespace tesmaron::tool
