// Windows: interface names are the connection names of the network adapters
// that SetupAPI places at a PCI function.
#include "tools/interfaces.h"

#include <windows.h>
#include <setupapi.h>

#include <string>
#include <vector>

#include "adapters.h"

namespace tesmaron::tool {

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

std::string InterfaceFunction(const std::string &name, PciAddress &address) {
    return AdapterFunction(PresentAdapters(), name, address);
}

}  // namespace tesmaron::tool
