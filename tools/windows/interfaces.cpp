// SPDX-License-Identifier: MIT
// Windows: the PCI functions SetupAPI enumerates; interface names are the
// connection names of the network adapters it places at a PCI function,
// their link and permanent address what the IP helper reports of the
// adapter of that name.
#include "tools/interfaces.h"

#include <winsock2.h>
#include <ws2tcpip.h>
#include <windows.h>
#include <iphlpapi.h>
#include <netioapi.h>
#include <setupapi.h>

#include <string>
#include <vector>

#include "adapters.h"
#include "error_text.h"
#include "tools/neighbors.h"

namespace tesmaron::tool {

namespace {

// The network adapter class, {4d36e972-e325-11ce-bfc1-08002be10318}.
const GUID NET_CLASS = {0x4d36e972, 0xe325, 0x11ce, {0xbf, 0xc1, 0x08, 0x00, 0x2b, 0xe1, 0x03, 0x18}};
const wchar_t NETWORK_KEY[] = L"SYSTEM\\CurrentControlSet\\Control\\Network\\{4D36E972-E325-11CE-BFC1-08002BE10318}\\";

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

// The adapter's description as Device Manager and the IP helper give it,
// with the " #2" that tells two of one model apart.
std::string Description(HDEVINFO set, SP_DEVINFO_DATA *device) {
    wchar_t text[256];
    for (const DWORD property : {SPDRP_FRIENDLYNAME, SPDRP_DEVICEDESC}) {
        if (SetupDiGetDeviceRegistryPropertyW(set, device, property, nullptr, reinterpret_cast<BYTE *>(text),
                                              sizeof(text) - sizeof(wchar_t), nullptr)) {
            text[255] = L'\0';
            return Utf8(text);
        }
    }
    return std::string();
}

// Names as Windows compares them: ordinal, without regard to case.
bool SameAsWindowsSays(const std::string &a, const std::string &b) {
    const std::wstring wide_a = Wide(a), wide_b = Wide(b);
    return CompareStringOrdinal(wide_a.c_str(), static_cast<int>(wide_a.size()), wide_b.c_str(),
                                static_cast<int>(wide_b.size()), TRUE) == CSTR_EQUAL;
}

// The devices SetupAPI enumerates that are present: of one class, or of
// every class on one enumerator.
std::vector<AdapterRecord> ReadDevices(const GUID *device_class, const wchar_t *enumerator_name, DWORD flags) {
    std::vector<AdapterRecord> devices;
    HDEVINFO set = SetupDiGetClassDevsW(device_class, enumerator_name, nullptr, DIGCF_PRESENT | flags);
    if (set == INVALID_HANDLE_VALUE) return devices;
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
            devices.push_back({Utf8(enumerator), bus, address,
                               device_class != nullptr ? ConnectionName(set, &device) : std::string(),
                               device_class != nullptr ? Description(set, &device) : std::string()});
        }
    }
    SetupDiDestroyDeviceInfoList(set);
    return devices;
}

// Read once: a run asks for each port's.
const std::vector<AdapterRecord> &PresentAdapters() {
    static const std::vector<AdapterRecord> adapters = ReadDevices(&NET_CLASS, nullptr, 0);
    return adapters;
}

const std::vector<AdapterRecord> &PresentPciFunctions() {
    static const std::vector<AdapterRecord> functions = ReadDevices(nullptr, L"PCI", DIGCF_ALLCLASSES);
    return functions;
}

// The IP helper's words for an interface's state, as the kernel's
// operstate gives them on Linux (both follow RFC 2863's ifOperStatus).
const char *OperstateWord(IF_OPER_STATUS status) {
    switch (status) {
        case IfOperStatusUp:
            return "up";
        case IfOperStatusDown:
            return "down";
        case IfOperStatusTesting:
            return "testing";
        case IfOperStatusDormant:
            return "dormant";
        case IfOperStatusNotPresent:
            return "notpresent";
        case IfOperStatusLowerLayerDown:
            return "lowerlayerdown";
        default:
            return "unknown";
    }
}

}  // namespace

// SetupAPI gives no PCI segment: only domain 0000 can be told.
std::optional<bool> PciFunctionPresent(uint32_t domain, const PciAddress &address) {
    if (PresentPciFunctions().empty() || domain != 0) return std::nullopt;
    return !AdapterNamesAt(PresentPciFunctions(), address, true).empty();
}

// Windows numbers no ports within a function: where several ports share
// one, which adapter is which cannot be told.
std::vector<NetInterface> InterfacesOn(uint32_t domain, const PciAddress &address) {
    std::vector<NetInterface> found;
    if (domain != 0) return found;
    for (const std::string &name : AdapterNamesAt(PresentAdapters(), address)) found.push_back({name, -1});
    return found;
}

std::string InterfaceFunction(const std::string &name, uint32_t &domain, PciAddress &address) {
    domain = 0;
    return AdapterFunction(PresentAdapters(), name, address, SameAsWindowsSays);
}

InterfaceLink LinkOf(const std::string &name) {
    InterfaceLink link;
    ULONG size = 16 << 10;
    std::vector<uint8_t> buffer;
    ULONG result = ERROR_BUFFER_OVERFLOW;
    for (int attempt = 0; attempt < 3 && result == ERROR_BUFFER_OVERFLOW; ++attempt) {
        buffer.resize(size);
        result = GetAdaptersAddresses(
            AF_UNSPEC,
            GAA_FLAG_SKIP_UNICAST | GAA_FLAG_SKIP_ANYCAST | GAA_FLAG_SKIP_MULTICAST | GAA_FLAG_SKIP_DNS_SERVER, nullptr,
            reinterpret_cast<IP_ADAPTER_ADDRESSES *>(buffer.data()), &size);
    }
    if (result != NO_ERROR) return link;
    for (auto *adapter = reinterpret_cast<IP_ADAPTER_ADDRESSES *>(buffer.data()); adapter; adapter = adapter->Next) {
        if (adapter->FriendlyName == nullptr || Utf8(adapter->FriendlyName) != name) continue;
        link.operstate = OperstateWord(adapter->OperStatus);
        // The address the hardware came with, not the one in use: teaming,
        // Hyper-V or an administrator may give the adapter another. (One
        // length serves both addresses.)
        MIB_IF_ROW2 row{};
        row.InterfaceLuid = adapter->Luid;
        if (GetIfEntry2(&row) == NO_ERROR && row.PhysicalAddressLength == 6) {
            std::array<uint8_t, 6> mac{};
            std::copy(row.PermanentPhysicalAddress, row.PermanentPhysicalAddress + 6, mac.begin());
            link.permanent_mac = mac;
        }
        break;
    }
    return link;
}

// LLDP is not listened for on Windows yet.
std::string SeekNeighbors(std::vector<Port> &, int) { return "--neighbors is for Linux; Windows is not covered yet"; }

}  // namespace tesmaron::tool
