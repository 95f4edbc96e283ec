// SPDX-License-Identifier: MIT
// The real boards of real-boards.txt, read for the test programs: each
// board's port structure, and the ports a firmware-table decoder listed.
#pragma once

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

namespace test {

struct Board {
    std::string name;
    std::vector<uint8_t> structure;                  // type, length, handle, entries
    std::vector<std::pair<uint8_t, uint8_t>> ports;  // (bus, devfn) of port 1, 2, ...
};

// Empty when the file cannot be read or a line is not a board.
inline std::vector<Board> ReadBoards(const std::string &path) {
    std::vector<Board> boards;
    std::ifstream in(path);
    for (std::string line; std::getline(in, line);) {
        if (line.empty() || line[0] == '#') continue;
        std::istringstream fields(line);
        Board board;
        std::string hex, port;
        fields >> board.name >> hex;
        for (size_t i = 0; i + 1 < hex.size(); i += 2) {
            board.structure.push_back(static_cast<uint8_t>(std::stoul(hex.substr(i, 2), nullptr, 16)));
        }
        while (fields >> port && port != "-") {
            unsigned number = 0, bus = 0, device = 0, function = 0;
            if (std::sscanf(port.c_str(), "%u=%x:%x.%x", &number, &bus, &device, &function) != 4 ||
                number != board.ports.size() + 1) {
                return {};
            }
            board.ports.emplace_back(static_cast<uint8_t>(bus), static_cast<uint8_t>(device << 3 | function));
        }
        if (board.structure.size() < 4 || hex.size() % 2 != 0) return {};
        boards.push_back(board);
    }
    return boards;
}

// A driver's answer to a request for `asked` bytes of the board's structure:
// status 1, then the structure cut to what was asked.
inline std::vector<uint8_t> BoardReply(const Board &board, size_t asked) {
    std::vector<uint8_t> reply = {1, 0};
    reply.insert(reply.end(), board.structure.begin(),
                 board.structure.begin() + static_cast<long>(std::min(asked, board.structure.size())));
    return reply;
}

// The board's port structure inside a whole SMBIOS table, among structures
// as real firmware tables hold them: strings, other OEM types, one whose
// body and strings hold the byte 0xD1. A second type-209 structure follows
// the board's, listing three ports on bus ee: it must never be used.
// A structure: the formatted area, then the strings, each ended by a zero,
// and one more zero to end the set (two zeros for a set with no strings).
inline std::vector<uint8_t> WithStrings(std::vector<uint8_t> formatted, const std::string &strings) {
    formatted.insert(formatted.end(), strings.begin(), strings.end());
    formatted.insert(formatted.end(), {0, 0});
    return formatted;
}

inline std::vector<std::vector<uint8_t>> TableStructures(const Board &board) {
    using namespace std::string_literals;
    const auto with_strings = WithStrings;
    const std::vector<uint8_t> second = {0xD1, 28, 0x02, 0xD1, 0x00, 0xEE, 0, 0,    0, 0, 0, 0, 0x01, 0xEE,
                                         0,    0,  0,    0,    0,    0,    8, 0xEE, 0, 0, 0, 0, 0,    0};
    return {
        with_strings({0, 0x12, 0x00, 0x00, 1, 2, 0x00, 0xF0, 3, 0x0F, 0x80, 0x98, 0x8B, 0x7F, 0xCB, 0x09, 0, 0},
                     "Firmware Vendor\0"s
                     "2.11.2\0"s
                     "04/09/2019"s),
        with_strings({1,    0x1B, 0x01, 0x00, 1,    2,    3,    4,    0x6B, 0x2F, 0x91, 0x0C, 0x5E, 0x47,
                      0x4A, 0x18, 0x93, 0xD1, 0x27, 0xA0, 0x3C, 0x55, 0xE8, 0x16, 0x06, 5,    6},
                     "Server Maker\0"s
                     "Rack Server\0"s
                     "1.0\0"s
                     "ABC1234\0"s
                     "SKU=1\0"s
                     "Servers"s),
        with_strings({0xDD, 0x0C, 0x02, 0x00, 1, 0, 0, 0, 0, 0, 0, 0}, ""),
        with_strings({0xD4, 0x0A, 0x03, 0x00, 0xD1, 0x0C, 0xD1, 0x00, 0xD1, 1}, "\xD1\x0C port map"),
        with_strings(board.structure, "Embedded NIC"),
        with_strings(second, ""),
        with_strings({0x7F, 0x04, 0xFF, 0xFE}, ""),
    };
}

// How the board's table is laid out: as above; with the end-of-table
// structure before the port structure (firmware with OEM structures behind
// it); or cut short before the port structure, with no end-of-table.
enum class Layout { WHOLE, PORTS_PAST_END, CUT_BEFORE_PORTS };

inline std::vector<uint8_t> WholeTable(const Board &board, Layout layout = Layout::WHOLE) {
    const std::vector<std::vector<uint8_t>> structures = TableStructures(board);
    std::vector<size_t> order = {0, 1, 2, 3, 4, 5, 6};
    if (layout == Layout::PORTS_PAST_END) order = {0, 1, 2, 3, 6, 4, 5};
    if (layout == Layout::CUT_BEFORE_PORTS) order = {0, 1, 2, 3};
    std::vector<uint8_t> table;
    for (const size_t i : order) table.insert(table.end(), structures[i].begin(), structures[i].end());
    return table;
}

// An entry point for a table of `length` bytes at `address`: SMBIOS 3
// ("_SM3_", version 3.2) or 2 ("_SM_" with its "_DMI_" part, version 2.8),
// with good checksums.
inline std::vector<uint8_t> EntryPoint(int version, uint32_t length, uint64_t address) {
    auto le = [](std::vector<uint8_t> &out, size_t at, uint64_t value, int bytes) {
        for (int i = 0; i < bytes; ++i) out[at + i] = static_cast<uint8_t>(value >> (8 * i));
    };
    auto checksum = [](std::vector<uint8_t> &out, size_t from, size_t size, size_t at) {
        uint8_t sum = 0;
        for (size_t i = from; i < from + size; ++i) sum = static_cast<uint8_t>(sum + (i == at ? 0 : out[i]));
        out[at] = static_cast<uint8_t>(-sum);
    };
    std::vector<uint8_t> ep;
    if (version == 3) {
        ep = {'_', 'S', 'M', '3', '_', 0, 0x18, 3, 2, 0, 1, 0};
        ep.resize(0x18);
        le(ep, 0x0C, length, 4);
        le(ep, 0x10, address, 8);
        checksum(ep, 0, 0x18, 5);
    } else {
        ep = {'_', 'S', 'M', '_', 0, 0x1F, 2, 8, 0x00, 0x01, 0, 0, 0, 0, 0, 0, '_', 'D', 'M', 'I', '_'};
        ep.resize(0x1F);
        le(ep, 0x16, length, 2);
        le(ep, 0x18, address, 4);
        le(ep, 0x1C, 7, 2);  // structures in the table
        ep[0x1E] = 0x28;
        checksum(ep, 0x10, 0x0F, 0x15);
        checksum(ep, 0, 0x1F, 4);
    }
    return ep;
}

// A dump as `dmidecode --dump-bin` lays one out: the entry point at offset
// 0, its table address rewritten to 32, the table at 32. The entry point may
// be made to say another length or address.
inline std::vector<uint8_t> Dump(int version, const std::vector<uint8_t> &table, int64_t length = -1,
                                 uint64_t address = 32) {
    std::vector<uint8_t> dump = EntryPoint(version, static_cast<uint32_t>(length < 0 ? table.size() : length), address);
    dump.resize(32);
    dump.insert(dump.end(), table.begin(), table.end());
    return dump;
}

// The real servers of onboard-devices.txt: each one's type-41 Ethernet
// entries, and its type-209 port list where it has one.
struct OnboardEntry {
    uint8_t instance;
    bool enabled;
    uint16_t segment;  // FFFF, bus FF and devfn FF where the line gives no address
    uint8_t bus, devfn;
    std::string label;
};
struct Machine {
    std::string name;
    std::vector<OnboardEntry> entries;
    std::vector<std::pair<uint8_t, uint8_t>> ports;  // (bus, devfn) of type-209 port 1, 2, ...
};

// Empty when the file cannot be read or a line is not a device.
inline std::vector<Machine> ReadMachines(const std::string &path) {
    std::vector<Machine> machines;
    std::ifstream in(path);
    for (std::string line; std::getline(in, line);) {
        if (line.empty() || line[0] == '#') continue;
        std::istringstream fields(line);
        std::string name, instance, state, address;
        fields >> name >> instance;
        if (machines.empty() || machines.back().name != name) machines.push_back({name, {}, {}});
        Machine &machine = machines.back();
        unsigned number = 0, segment = 0, bus = 0, device = 0, function = 0;
        if (instance == "209") {
            for (std::string port; fields >> port;) {
                if (std::sscanf(port.c_str(), "%u=%x:%x:%x.%x", &number, &segment, &bus, &device, &function) != 5)
                    return {};
                machine.ports.emplace_back(static_cast<uint8_t>(bus), static_cast<uint8_t>(device << 3 | function));
            }
            continue;
        }
        fields >> state >> address >> std::ws;
        std::string label;
        std::getline(fields, label);
        if (label.size() < 2 || label.front() != '"' || label.back() != '"') return {};
        OnboardEntry entry{static_cast<uint8_t>(std::stoul(instance)), state == "enabled", 0xFFFF, 0xFF, 0xFF,
                           label.substr(1, label.size() - 2)};
        if (address != "-") {
            if (std::sscanf(address.c_str(), "%x:%x:%x.%x", &segment, &bus, &device, &function) != 4) return {};
            entry.segment = static_cast<uint16_t>(segment);
            entry.bus = static_cast<uint8_t>(bus);
            entry.devfn = static_cast<uint8_t>(device << 3 | function);
        }
        machine.entries.push_back(entry);
    }
    return machines;
}

// A machine's whole table: firmware and system structures, its type-41
// entries (each with its label, where it has one, as string 1), its
// type-209 list (MAC addresses 02:00:5e:29:<port>:00), the end-of-table.
inline std::vector<uint8_t> MachineTable(const Machine &machine) {
    using namespace std::string_literals;
    std::vector<uint8_t> table =
        WithStrings({0, 0x12, 0x00, 0x00, 1, 2, 0x00, 0xF0, 3, 0x0F, 0x80, 0x98, 0x8B, 0x7F, 0xCB, 0x09, 0, 0},
                    "Firmware Vendor\0"s
                    "2.11.2\0"s
                    "04/09/2019"s);
    uint16_t handle = 0x4100;
    for (const OnboardEntry &e : machine.entries) {
        const std::vector<uint8_t> structure = WithStrings(
            {41, 11, static_cast<uint8_t>(handle), static_cast<uint8_t>(handle >> 8),
             e.label.empty() ? uint8_t{0} : uint8_t{1}, static_cast<uint8_t>(0x05 | (e.enabled ? 0x80 : 0)), e.instance,
             static_cast<uint8_t>(e.segment), static_cast<uint8_t>(e.segment >> 8), e.bus, e.devfn},
            e.label);
        table.insert(table.end(), structure.begin(), structure.end());
        ++handle;
    }
    if (!machine.ports.empty()) {
        std::vector<uint8_t> list = {0xD1, static_cast<uint8_t>(4 + 8 * machine.ports.size()), 0x00, 0xD1};
        for (size_t i = 0; i < machine.ports.size(); ++i) {
            list.insert(list.end(), {machine.ports[i].second, machine.ports[i].first, 0x02, 0x00, 0x5E, 0x29,
                                     static_cast<uint8_t>(i + 1), 0x00});
        }
        list = WithStrings(list, "");
        table.insert(table.end(), list.begin(), list.end());
    }
    table.insert(table.end(), {0x7F, 0x04, 0xFF, 0xFE, 0, 0});
    return table;
}

}  // namespace test
