// SPDX-License-Identifier: MIT
// End to end on a real Windows loader: scripts the test health driver, loads
// tesmaron.dll so that its entry point runs the attach sequence against the
// driver, resolves the exports by name and by ordinal, runs lookups, and
// reads back what the driver was sent.
//
//   e2e.exe DLL [SCENARIO ...]    runs the named scenarios (default: all)
//   e2e.exe --list                names them
//   e2e.exe --sample-board        scripts the driver with a four-port board
#include <windows.h>

#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "../health_reply.h"
#include "../real_boards/real_boards.h"
#include "tesmaron.h"
#include "test_driver_protocol.h"

namespace {

using test::HealthReply;
using test::PortEntries;
using PciLookup = decltype(&LookupByPCIAddress);
using PortLookup = decltype(&LookupByPortNumber);

const char *dll_path;
const char *scenario;
int passed, failed;

void Check(bool ok, const char *what, ...) {
    if (ok) {
        ++passed;
        return;
    }
    ++failed;
    std::printf("FAIL %s: ", scenario);
    va_list args;
    va_start(args, what);
    std::vprintf(what, args);
    va_end(args);
    std::printf("\n");
}

struct Reply {
    bool succeed;
    std::vector<uint8_t> bytes;
};

HANDLE OpenControl() {
    return CreateFileA("\\\\.\\ZolHlth", GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
}

bool SetScript(HANDLE control, const std::vector<Reply> &replies) {
    std::vector<uint8_t> script(sizeof(ScriptHeader));
    const ScriptHeader header{static_cast<uint32_t>(replies.size())};
    std::memcpy(script.data(), &header, sizeof(header));
    for (const Reply &r : replies) {
        const ScriptReply head{r.succeed ? 1u : 0u, static_cast<uint32_t>(r.bytes.size())};
        const auto *p = reinterpret_cast<const uint8_t *>(&head);
        script.insert(script.end(), p, p + sizeof(head));
        script.insert(script.end(), r.bytes.begin(), r.bytes.end());
    }
    DWORD returned = 0;
    return DeviceIoControl(control, TEST_SET_SCRIPT_CODE, script.data(), static_cast<DWORD>(script.size()), nullptr, 0,
                           &returned, nullptr);
}

Record GetRecord(HANDLE control) {
    Record record{};
    DWORD returned = 0;
    Check(DeviceIoControl(control, TEST_GET_RECORD_CODE, nullptr, 0, &record, sizeof(record), &returned, nullptr) &&
              returned == sizeof(record),
          "reading the driver's record failed (error %lu)", GetLastError());
    return record;
}

// The library, loaded: exports resolved by name, and checked against the
// same exports resolved by ordinal.
struct Library {
    HMODULE module;
    PciLookup by_pci;
    PortLookup by_port;
};

// GetProcAddress by name or by ordinal, as a plain address.
void *Export(HMODULE module, const char *name) { return reinterpret_cast<void *>(GetProcAddress(module, name)); }

Library Load() {
    Library lib{LoadLibraryA(dll_path), nullptr, nullptr};
    Check(lib.module != nullptr, "LoadLibrary(%s) failed (error %lu)", dll_path, GetLastError());
    if (lib.module == nullptr) return lib;
    lib.by_pci = reinterpret_cast<PciLookup>(Export(lib.module, "LookupByPCIAddress"));
    lib.by_port = reinterpret_cast<PortLookup>(Export(lib.module, "LookupByPortNumber"));
    Check(lib.by_pci != nullptr && lib.by_port != nullptr, "an export is missing by name");
    Check(reinterpret_cast<void *>(lib.by_pci) == Export(lib.module, MAKEINTRESOURCEA(1)),
          "LookupByPCIAddress is not ordinal 1");
    Check(reinterpret_cast<void *>(lib.by_port) == Export(lib.module, MAKEINTRESOURCEA(2)),
          "LookupByPortNumber is not ordinal 2");
    Check(Export(lib.module, MAKEINTRESOURCEA(3)) == nullptr, "an export at ordinal 3");
    return lib;
}

bool Usable(const Library &lib) { return lib.by_pci != nullptr && lib.by_port != nullptr; }

// Nothing found, and the outputs as documented for "not found".
void ExpectEmpty(const Library &lib) {
    if (!Usable(lib)) return;
    uint32_t port = 0xFFFF;
    Check(lib.by_pci(2, 0, 0, &port) == 0 && port == 0, "LookupByPCIAddress found something (port %u)", port);
    Check(lib.by_pci(0, 0, 0, &port) == 0 && port == 0, "LookupByPCIAddress(0, 0, 0) found something");
    uint32_t bus = 0xAA, device = 0xBB, function = 0xCC;
    Check(lib.by_port(&bus, &device, &function, 1) == 0, "LookupByPortNumber(1) found a port");
    Check(bus == 0xAA && device == 0xBB && function == 0xCC, "a failed LookupByPortNumber wrote its outputs");
}

// Each port reads back as the entry the driver sent, and maps back to the
// first port with its address.
void ExpectPorts(const Library &lib, const std::vector<std::pair<uint8_t, uint8_t>> &bus_devfn) {
    if (!Usable(lib)) return;
    const uint32_t count = static_cast<uint32_t>(bus_devfn.size());
    for (uint32_t p = 1; p <= count; ++p) {
        uint32_t bus = 0, device = 0, function = 0, port = 0;
        const auto [want_bus, want_devfn] = bus_devfn[p - 1];
        Check(lib.by_port(&bus, &device, &function, p) == 1 && bus == want_bus &&
                  device == static_cast<uint32_t>(want_devfn >> 3) && function == (want_devfn & 7u),
              "port %u reads back as %u:%u.%u", p, bus, device, function);
        uint32_t first = 1;
        while (bus_devfn[first - 1] != bus_devfn[p - 1]) ++first;
        Check(lib.by_pci(bus, device, function, &port) == 1 && port == first, "%u:%u.%u maps to port %u, not %u", bus,
              device, function, port, first);
    }
    uint32_t bus = 0, device = 0, function = 0;
    Check(lib.by_port(&bus, &device, &function, count + 1) == 0, "port %u exists", count + 1);
    Check(lib.by_port(&bus, &device, &function, 0) == 0, "port 0 exists");
}

// The probe, and the fetch asking for `fetch_length`, exactly as sent.
void ExpectRequests(const Record &record, uint32_t count, uint8_t fetch_length = 0) {
    Check(record.request_count == count, "%u health requests, expected %u", record.request_count, count);
    Check(record.unknown_code_count == 0, "%u requests with an unknown control code", record.unknown_code_count);
    Check(record.opens == 1 && record.closes == 1, "device opened %u and closed %u times, expected once each",
          record.opens, record.closes);
    for (uint32_t i = 0; i < count && i < TEST_MAX_REQUESTS; ++i) {
        const RecordedRequest &r = record.requests[i];
        const uint8_t length = i == 0 ? 12 : fetch_length;
        const uint8_t expected[16] = {0x05, 0x10, length, 0, 0, 0, 0, 0, 0xD1, 0, 0, 0, 0, 0, 0, 0};
        Check(std::memcmp(r.bytes, expected, 16) == 0, "request %u: bytes 0-3 %02x %02x %02x %02x, 8-9 %02x %02x",
              i + 1, r.bytes[0], r.bytes[1], r.bytes[2], r.bytes[3], r.bytes[8], r.bytes[9]);
        Check(r.in_length == 16 && r.out_length == 1024, "request %u: lengths %u in, %u out", i + 1, r.in_length,
              r.out_length);
    }
}

// One attach against the scripted driver. `check` runs with the library
// loaded; the record is read once the lookups are done.
template <typename Body>
Record WithDriver(const std::vector<Reply> &replies, Body check) {
    HANDLE control = OpenControl();
    Check(control != INVALID_HANDLE_VALUE, "the test driver's device cannot be opened (error %lu)", GetLastError());
    if (control == INVALID_HANDLE_VALUE) return Record{};
    Check(SetScript(control, replies), "setting the driver's script failed (error %lu)", GetLastError());
    Library lib = Load();
    check(lib);
    if (lib.module != nullptr) FreeLibrary(lib.module);
    Record record = GetRecord(control);
    CloseHandle(control);
    return record;
}

const std::vector<std::pair<uint8_t, uint8_t>> TWO_PORTS = {{2, 0x00}, {2, 0x01}};

void DriverAbsent() {
    HANDLE control = OpenControl();
    Check(control == INVALID_HANDLE_VALUE, "the health device is present");
    if (control != INVALID_HANDLE_VALUE) CloseHandle(control);
    Library lib = Load();
    ExpectEmpty(lib);
    if (lib.module != nullptr) FreeLibrary(lib.module);
}

void ProbeRefused() {
    ExpectRequests(WithDriver({{true, HealthReply(0, 20, PortEntries(TWO_PORTS))}}, ExpectEmpty), 1);
}

void ProbeFails() { ExpectRequests(WithDriver({{false, HealthReply(1, 20)}}, ExpectEmpty), 1); }

void FetchRefused() {
    ExpectRequests(
        WithDriver({{true, HealthReply(1, 20)}, {true, HealthReply(0, 20, PortEntries(TWO_PORTS))}}, ExpectEmpty), 2,
        20);
}

void FetchFails() {
    ExpectRequests(WithDriver({{true, HealthReply(1, 20)}, {false, HealthReply(1, 20)}}, ExpectEmpty), 2, 20);
}

// A fetch the driver answers with no bytes must read as refused: only a
// reply area cleared before the request makes it so.
void FetchAnswersNothing() {
    const std::vector<uint8_t> probe = HealthReply(1, 44, std::vector<uint8_t>(40, 0x11));
    ExpectRequests(WithDriver({{true, probe}, {true, {}}}, ExpectEmpty), 2, 44);
}

void TwoPorts() {
    const Record record = WithDriver(
        {{true, HealthReply(1, 20)}, {true, HealthReply(1, 20, PortEntries(TWO_PORTS))}}, [](const Library &lib) {
            if (!Usable(lib)) return;
            uint32_t port = 0;
            Check(lib.by_pci(2, 0, 1, &port) == 1 && port == 2, "02:00.1 is not port 2 (%u)", port);
            ExpectPorts(lib, TWO_PORTS);
            // A thread's attach and detach leave the table as it was.
            HANDLE thread = CreateThread(
                nullptr, 0, [](LPVOID) -> DWORD { return 0; }, nullptr, 0, nullptr);
            WaitForSingleObject(thread, INFINITE);
            CloseHandle(thread);
            ExpectPorts(lib, TWO_PORTS);
        });
    ExpectRequests(record, 2, 20);
}

void ThirtyOnePorts() {
    std::vector<std::pair<uint8_t, uint8_t>> ports;
    for (int i = 0; i < 31; ++i)
        ports.emplace_back(static_cast<uint8_t>(i * 8 + 7), static_cast<uint8_t>(i * 8 + (i & 7)));
    const Record record = WithDriver({{true, HealthReply(1, 255)}, {true, HealthReply(1, 255, PortEntries(ports))}},
                                     [&](const Library &lib) { ExpectPorts(lib, ports); });
    ExpectRequests(record, 2, 255);
}

// The fetched structure's own length counts: (28 - 4) / 8 = 3 entries.
void LengthsDiffer() {
    std::vector<std::pair<uint8_t, uint8_t>> ports = {{1, 0x08}, {1, 0x09}, {3, 0x0A}, {4, 0x10}};
    const Record record = WithDriver({{true, HealthReply(1, 40)}, {true, HealthReply(1, 28, PortEntries(ports))}},
                                     [&](const Library &lib) {
                                         ExpectPorts(lib, {ports.begin(), ports.begin() + 3});
                                     });
    ExpectRequests(record, 2, 40);
}

// A length byte below the structure header's own 4 bytes holds no entry.
void LengthBelowHeader() {
    ExpectRequests(WithDriver({{true, HealthReply(1, 40)}, {true, HealthReply(1, 2, std::vector<uint8_t>(40, 0x22))}},
                              ExpectEmpty),
                   2, 40);
}

// Real machines' port lists (real-boards.txt beside the program), one load
// of the library per board, the probe answered with the 12 bytes it asks for.
void RealBoards() {
    const std::vector<test::Board> boards = test::ReadBoards("real-boards.txt");
    Check(boards.size() == 100, "%zu boards read from real-boards.txt, expected 100", boards.size());
    const int before = passed + failed;
    for (const test::Board &board : boards) {
        const uint8_t length = board.structure[1];
        const int failed_before = failed;
        ExpectRequests(WithDriver({{true, test::BoardReply(board, 12)}, {true, test::BoardReply(board, length)}},
                                  [&](const Library &lib) { ExpectPorts(lib, board.ports); }),
                       2, length);
        if (failed != failed_before) std::printf("  (on %s)\n", board.name.c_str());
    }
    std::printf("real boards under Wine: %zu boards, %d checks\n", boards.size(), passed + failed - before);
}

std::string QueryString(const std::vector<char> &info, const char *key) {
    char *value = nullptr;
    UINT length = 0;
    const std::string path = std::string("\\StringFileInfo\\040904B0\\") + key;
    if (!VerQueryValueA(info.data(), path.c_str(), reinterpret_cast<LPVOID *>(&value), &length) || value == nullptr) {
        return "(absent)";
    }
    return std::string(value);
}

void VersionResource() {
    DWORD ignored = 0;
    const DWORD size = GetFileVersionInfoSizeA(dll_path, &ignored);
    Check(size != 0, "no version resource (error %lu)", GetLastError());
    if (size == 0) return;
    std::vector<char> info(size);
    Check(GetFileVersionInfoA(dll_path, 0, size, info.data()) != 0, "GetFileVersionInfoA failed");

    VS_FIXEDFILEINFO *fixed = nullptr;
    UINT length = 0;
    Check(VerQueryValueA(info.data(), "\\", reinterpret_cast<LPVOID *>(&fixed), &length) && fixed != nullptr &&
              length == sizeof(VS_FIXEDFILEINFO),
          "no fixed file info");
    if (fixed == nullptr) return;
    Check(fixed->dwSignature == 0xFEEF04BD, "signature %08lx", fixed->dwSignature);
    Check(fixed->dwFileVersionMS == 0x00010000 && fixed->dwFileVersionLS == 0, "file version %08lx %08lx",
          fixed->dwFileVersionMS, fixed->dwFileVersionLS);
    Check(fixed->dwProductVersionMS == 0x00010000 && fixed->dwProductVersionLS == 0, "product version");
    Check(fixed->dwFileFlagsMask == 0x3F && fixed->dwFileFlags == VS_FF_PRIVATEBUILD, "flags %lx/%lx",
          fixed->dwFileFlagsMask, fixed->dwFileFlags);
    Check(fixed->dwFileOS == VOS_NT_WINDOWS32, "file OS %08lx", fixed->dwFileOS);
    Check(fixed->dwFileType == VFT_DLL && fixed->dwFileSubtype == 0, "file type %lu/%lu", fixed->dwFileType,
          fixed->dwFileSubtype);

    const struct {
        const char *key, *value;
    } strings[] = {
        {"CompanyName", "tesmaron developers"},
        {"FileDescription", "Embedded network interface controller mapping library"},
        {"FileVersion", "1.0.0.0 (x64 release)"},
        {"InternalName", "tesmaron.dll"},
        {"LegalCopyright", "Copyright (C) 2026 tesmaron developers"},
        {"OriginalFilename", "tesmaron.dll"},
        {"ProductName", "tesmaron"},
        {"ProductVersion", "1.0.0.0"},
    };
    for (const auto &s : strings) {
        const std::string value = QueryString(info, s.key);
        Check(value == s.value, "%s is \"%s\"", s.key, value.c_str());
    }
    DWORD *translation = nullptr;
    Check(
        VerQueryValueA(info.data(), "\\VarFileInfo\\Translation", reinterpret_cast<LPVOID *>(&translation), &length) &&
            length == 4 && translation != nullptr && *translation == 0x04B00409,
        "Translation is not 0x0409, 0x04B0");
}

const struct {
    const char *name;
    void (*run)();
} SCENARIOS[] = {
    {"driver-absent", DriverAbsent},
    {"version-resource", VersionResource},
    {"probe-refused", ProbeRefused},
    {"probe-fails", ProbeFails},
    {"fetch-refused", FetchRefused},
    {"fetch-fails", FetchFails},
    {"fetch-answers-nothing", FetchAnswersNothing},
    {"two-ports", TwoPorts},
    {"thirty-one-ports", ThirtyOnePorts},
    {"lengths-differ", LengthsDiffer},
    {"length-below-header", LengthBelowHeader},
    {"real-boards", RealBoards},
};

// A sample board of four ports, for one load of the library by another
// program (the demo of the example program). Port n's MAC address is
// 02:00:5e:00:00:0n, for tesmaron-ports to show.
int ScriptSampleBoard() {
    const std::vector<std::pair<uint8_t, uint8_t>> board = {{2, 0x00}, {2, 0x01}, {3, 0x00}, {3, 0x01}};
    const uint8_t length = 4 + 8 * 4;
    std::vector<uint8_t> entries = PortEntries(board);
    for (size_t port = 0; port < board.size(); ++port) {
        const uint8_t mac[6] = {0x02, 0x00, 0x5e, 0x00, 0x00, static_cast<uint8_t>(port + 1)};
        std::copy(mac, mac + 6, entries.begin() + static_cast<long>(8 * port + 2));
    }
    HANDLE control = OpenControl();
    if (control == INVALID_HANDLE_VALUE) {
        std::fprintf(stderr, "e2e: the test driver is not running\n");
        return 1;
    }
    const bool ok = SetScript(control, {{true, HealthReply(1, length)}, {true, HealthReply(1, length, entries)}});
    CloseHandle(control);
    return ok ? 0 : 1;
}

}  // namespace

int main(int argc, char **argv) {
    if (argc == 2 && std::strcmp(argv[1], "--sample-board") == 0) return ScriptSampleBoard();
    if (argc == 2 && std::strcmp(argv[1], "--list") == 0) {
        for (const auto &s : SCENARIOS) std::printf("%s\n", s.name);
        return 0;
    }
    if (argc < 2) {
        std::fprintf(stderr, "usage: e2e.exe DLL [SCENARIO ...] | e2e.exe --list\n");
        return 2;
    }
    dll_path = argv[1];
    for (const auto &s : SCENARIOS) {
        bool wanted = argc == 2;
        for (int i = 2; i < argc; ++i) wanted |= std::strcmp(argv[i], s.name) == 0;
        if (!wanted) continue;
        scenario = s.name;
        s.run();
    }
    for (int i = 2; i < argc; ++i) {
        bool known = false;
        for (const auto &s : SCENARIOS) known |= std::strcmp(argv[i], s.name) == 0;
        if (!known) {
            std::printf("FAIL no scenario named %s\n", argv[i]);
            ++failed;
        }
    }
    std::printf("%d passed, %d failed\n", passed, failed);
    return failed == 0 && passed > 0 ? 0 : 1;
}
