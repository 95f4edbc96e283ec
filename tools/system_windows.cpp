// Windows: interface names are the connection names of the network adapters
// that SetupAPI places at a PCI function; without the health driver, the
// ports come from the firmware's SMBIOS table.
#include <windows.h>
#include <setupapi.h>

#include <cstdio>

#include "healthdrv/health_driver.h"
#include "system.h"

namespace {

// The network adapter class, {4d36e972-e325-11ce-bfc1-08002be10318}.
const GUID NET_CLASS = {0x4d36e972, 0xe325, 0x11ce, {0xbf, 0xc1, 0x08, 0x00, 0x2b, 0xe1, 0x03, 0x18}};
const wchar_t NETWORK_KEY[] = L"SYSTEM\\CurrentControlSet\\Control\\Network\\{4D36E972-E325-11CE-BFC1-08002BE10318}\\";

std::string Utf8(const wchar_t *text) {
    const int size = WideCharToMultiByte(CP_UTF8, 0, text, -1, nullptr, 0, nullptr, nullptr);
    if (size <= 1) return std::string();
    std::string out(static_cast<size_t>(size), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text, -1, out.data(), size, nullptr, nullptr);
    out.pop_back();  // the terminating zero
    return out;
}

// The name the user sees for an adapter's connection ("Ethernet 2"): kept
// under the network class key, by the adapter's configuration instance.
std::string ConnectionName(HDEVINFO set, SP_DEVINFO_DATA *device) {
    HKEY driver = SetupDiOpenDevRegKey(set, device, DICS_FLAG_GLOBAL, 0, DIREG_DRV, KEY_READ);
    if (driver == INVALID_HANDLE_VALUE) return std::string();
    wchar_t instance[64];
    DWORD size = sizeof(instance);
    const LSTATUS found = RegGetValueW(driver, nullptr, L"NetCfgInstanceId", RRF_RT_REG_SZ, nullptr, instance, &size);
    RegCloseKey(driver);
    if (found != ERROR_SUCCESS) return std::string();
    const std::wstring key = std::wstring(NETWORK_KEY) + instance + L"\\Connection";
    wchar_t name[256];
    size = sizeof(name);
    if (RegGetValueW(HKEY_LOCAL_MACHINE, key.c_str(), L"Name", RRF_RT_REG_SZ, nullptr, name, &size) != ERROR_SUCCESS) {
        return std::string();
    }
    return Utf8(name);
}

std::vector<AdapterRecord> ReadAdapters() {
    std::vector<AdapterRecord> adapters;
    HDEVINFO set = SetupDiGetClassDevsW(&NET_CLASS, nullptr, nullptr, DIGCF_PRESENT);
    if (set == INVALID_HANDLE_VALUE) return adapters;
    SP_DEVINFO_DATA device{};
    device.cbSize = sizeof(device);
    for (DWORD i = 0; SetupDiEnumDeviceInfo(set, i, &device); ++i) {
        DWORD bus = 0, address = 0;
        wchar_t enumerator[32];
        if (SetupDiGetDeviceRegistryPropertyW(set, &device, SPDRP_ENUMERATOR_NAME, nullptr,
                                              reinterpret_cast<BYTE *>(enumerator), sizeof(enumerator), nullptr) &&
            SetupDiGetDeviceRegistryPropertyW(set, &device, SPDRP_BUSNUMBER, nullptr, reinterpret_cast<BYTE *>(&bus),
                                              sizeof(bus), nullptr) &&
            SetupDiGetDeviceRegistryPropertyW(set, &device, SPDRP_ADDRESS, nullptr, reinterpret_cast<BYTE *>(&address),
                                              sizeof(address), nullptr)) {
            adapters.push_back({Utf8(enumerator), bus, address, ConnectionName(set, &device)});
        }
    }
    SetupDiDestroyDeviceInfoList(set);
    return adapters;
}

// Read once: a run asks for each port's.
const std::vector<AdapterRecord> &PresentAdapters() {
    static const std::vector<AdapterRecord> adapters = ReadAdapters();
    return adapters;
}

}  // namespace

std::vector<std::string> InterfaceNames(const PciAddress &address) {
    return AdapterNamesAt(PresentAdapters(), address);
}

namespace {

// "error 2: The system cannot find the file specified".
std::string ErrorText(DWORD error) {
    char text[256] = "";
    FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, error, 0, text, sizeof(text),
                   nullptr);
    std::string message = text;
    while (!message.empty() && (message.back() == '\n' || message.back() == '\r' || message.back() == '.')) {
        message.pop_back();
    }
    return "error " + std::to_string(error) + (message.empty() ? "" : ": " + message);
}

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

PortList MachinePorts() {
    using namespace tesmaron;
    HANDLE device = CreateFileA(HEALTH_DEVICE_PATH, HEALTH_DEVICE_ACCESS, HEALTH_DEVICE_SHARE, nullptr,
                                HEALTH_DEVICE_DISPOSITION, 0, nullptr);
    std::string driver;
    if (device == INVALID_HANDLE_VALUE) {
        driver = std::string("the health device ") + HEALTH_DEVICE_PATH + " cannot be opened (" +
                 ErrorText(GetLastError()) + ")";
    } else {
        // The exchange the library makes at load, into a reply area of the
        // tool's own, so that the whole of each entry can be read.
        static HealthReply reply;
        const PortStructureFetch fetch = FetchPortStructure(device, reply.bytes);
        const DWORD error = GetLastError();
        CloseHandle(device);
        if (fetch == PortStructureFetch::FETCHED) {
            return Listed(PortsOf(PortTableOf(reply.bytes + REPLY_STRUCTURE_OFFSET)),
                          "the health driver's list of embedded network ports holds none");
        }
        if (fetch == PortStructureFetch::NOT_LISTED) {
            return Listed({}, "the health driver lists no embedded network ports");
        }
        driver = std::string("the health device ") + HEALTH_DEVICE_PATH + " does not answer (" + ErrorText(error) + ")";
    }
    // The health driver cannot be read, but the firmware's table is there
    // for the tool to read itself.
    const std::vector<uint8_t> raw = RawSmbiosTable();
    if (raw.empty()) {
        return Unreadable(driver + ", and the firmware's SMBIOS table cannot be read (error " +
                          std::to_string(GetLastError()) + ")");
    }
    PortList firmware = PortsFromRawSmbios(raw);
    if (firmware.ports.empty()) {
        firmware.reason = driver + ", and " + firmware.reason;
        return firmware;
    }
    firmware.origin = "ports read from the firmware's SMBIOS table: " + driver;
    return firmware;
}

std::string InterfaceFunction(const std::string &name, PciAddress &address) {
    return AdapterFunction(PresentAdapters(), name, address);
}

std::string WriteFileAtomically(const std::string &path, const std::string &text) {
    const size_t slash = path.find_last_of("\\/");
    const size_t base = slash == std::string::npos ? 0 : slash + 1;
    const std::string stem = path.substr(0, base) + "." + path.substr(base) + ".";
    // CREATE_NEW never opens what is already there, a link included; the
    // name is tried again only when it is taken.
    std::string temporary;
    HANDLE file = INVALID_HANDLE_VALUE;
    for (DWORD attempt = 0; attempt < 64 && file == INVALID_HANDLE_VALUE; ++attempt) {
        char suffix[32];
        std::snprintf(suffix, sizeof(suffix), "%08lx%02lx.tmp",
                      static_cast<unsigned long>(GetCurrentProcessId() ^ GetTickCount()),
                      static_cast<unsigned long>(attempt));
        temporary = stem + suffix;
        file = CreateFileA(temporary.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (file == INVALID_HANDLE_VALUE && GetLastError() != ERROR_FILE_EXISTS) break;
    }
    if (file == INVALID_HANDLE_VALUE) return ErrorText(GetLastError());
    DWORD written = 0;
    bool done = WriteFile(file, text.data(), static_cast<DWORD>(text.size()), &written, nullptr) &&
                written == text.size() && FlushFileBuffers(file);
    DWORD error = done ? 0 : GetLastError();
    CloseHandle(file);
    if (done && !MoveFileExA(temporary.c_str(), path.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
        done = false;
        error = GetLastError();
    }
    if (done) return "";
    DeleteFileA(temporary.c_str());
    return ErrorText(error);
}
