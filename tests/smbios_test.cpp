// SPDX-License-Identifier: MIT
// The SMBIOS table format: the real boards inside whole tables and dumps,
// broken tables cut and bent every way, and Windows' table as Wine recorded it.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "portmap/port_table.h"
#include "real_boards/real_boards.h"
#include "smbios/onboard_devices.h"
#include "smbios/table_location.h"
#include "smbios/table_walk.h"

using namespace tesmaron::smbios;

namespace {

// The walk fed in pieces of every size from 1 to 9 ends as the walk over the
// whole table does: where the library streams, the tool reads the whole.
TableWalk FindInPieces(const std::vector<uint8_t> &table, uint8_t type, uint32_t instance,
                       TableEnd table_end = SMBIOS3_TABLE_END) {
    const TableWalk whole = FindStructure(table.data(), table.size(), type, instance, table_end);
    for (size_t piece = 1; piece <= 9; ++piece) {
        TableWalk walk = StartWalk(type, instance, table_end);
        for (size_t at = 0; at < table.size() && walk.end == WalkEnd::WALKING; at += piece) {
            WalkTable(walk, table.data() + at, std::min(piece, table.size() - at));
        }
        FinishWalk(walk);
        EXPECT_EQ(walk.end, whole.end) << "pieces of " << piece;
        EXPECT_EQ(walk.structure_offset, whole.structure_offset) << "pieces of " << piece;
        EXPECT_EQ(walk.structure_size, whole.structure_size) << "pieces of " << piece;
    }
    return whole;
}

TEST(SmbiosTable, RealBoardsInWholeTablesAndDumps) {
    const std::vector<test::Board> boards = test::ReadBoards(TESMARON_REAL_BOARDS);
    ASSERT_EQ(boards.size(), 100u);
    for (const test::Board &board : boards) {
        const std::vector<uint8_t> table = test::WholeTable(board);
        for (const std::vector<uint8_t> &file : {table, test::Dump(3, table), test::Dump(2, table)}) {
            const TableLocation where = LocateDumpTable(file.data(), file.size());
            ASSERT_EQ(where.fault, LocateFault::NONE) << board.name;
            ASSERT_EQ(where.length, table.size()) << board.name;
            const std::vector<uint8_t> located(file.begin() + where.offset, file.end());
            const TableEnd end = TableEndOf(where);
            const TableWalk walk = FindInPieces(located, 209, 0, end);
            ASSERT_EQ(walk.end, WalkEnd::FOUND) << board.name;
            const uint8_t *structure = located.data() + walk.structure_offset;
            EXPECT_EQ(std::memcmp(structure, board.structure.data(), board.structure.size()), 0) << board.name;
            const tesmaron::PortTable ports = tesmaron::PortTableOf(structure);
            std::vector<std::pair<uint8_t, uint8_t>> found;
            for (uint32_t i = 0; i < ports.entry_count; ++i)
                found.emplace_back(ports.entries[i].bus, ports.entries[i].devfn);
            EXPECT_EQ(found, board.ports) << board.name;
            // The kernel's numbering: the second structure is 209-1, on bus ee.
            const TableWalk second = FindInPieces(located, 209, 1, end);
            ASSERT_EQ(second.end, WalkEnd::FOUND) << board.name;
            EXPECT_EQ(located[second.structure_offset + 5], 0xEE) << board.name;
            EXPECT_EQ(FindInPieces(located, 209, 2, end).end, WalkEnd::NOT_IN_TABLE) << board.name;
        }
    }
}

// A small table: BIOS strings, then two ports with a string, then the end.
const std::vector<uint8_t> SMALL = {0,    5,  0, 0, 1, 'V', 0, 0,                                      // 0..7
                                    0xD1, 20, 1, 0, 0, 2,   0, 0, 0, 0, 0, 0, 1, 2, 0, 0, 0, 0, 0, 0,  // 8..27
                                    'p',  0,  0,                                                       // 28..30
                                    127,  4,  2, 0, 0, 0};

TEST(SmbiosTable, ASmallTableCutAtEveryByte) {
    // Where each cut falls: between structures, in a header, in a formatted
    // area, in a string set; the walk names the structure it breaks in. A
    // cut between structures is one for SMBIOS 3, whose table must end with
    // its end-of-table structure; an SMBIOS 2 table may end anywhere.
    for (size_t cut = 0; cut <= 2 * SMALL.size() + 1; ++cut) {
        const bool smbios3 = cut <= SMALL.size();
        const size_t at = smbios3 ? cut : cut - SMALL.size() - 1;
        const TableWalk walk =
            FindInPieces({SMALL.begin(), SMALL.begin() + at}, 209, 0, smbios3 ? SMBIOS3_TABLE_END : Smbios2TableEnd(0));
        const size_t start = at < 8 ? 0 : 8;
        WalkEnd expected = WalkEnd::FOUND;
        if (at == 0 || at == 8)
            expected = smbios3 ? WalkEnd::NO_END_OF_TABLE : WalkEnd::NOT_IN_TABLE;
        else if (at < 31 && at - start < 4)
            expected = WalkEnd::HEADER_CUT;
        else if (at < 31 && at - start < SMALL[start + 1])
            expected = WalkEnd::FORMATTED_CUT;
        else if (at < 31)
            expected = WalkEnd::STRINGS_UNTERMINATED;
        EXPECT_EQ(walk.end, expected) << "cut at " << cut;
        if (expected != WalkEnd::FOUND && expected != WalkEnd::NOT_IN_TABLE && expected != WalkEnd::NO_END_OF_TABLE) {
            EXPECT_EQ(walk.structure_offset, start) << "cut at " << cut;
        }
        if (expected == WalkEnd::FOUND) {
            EXPECT_EQ(walk.structure_size, 23u);
        }
    }
}

// Where the walk ends, with the rule each entry point gives the table: a
// structure that breaks, and a port list past the end-of-table structure.
TEST(SmbiosTable, BrokenStructuresEndTheWalkWhereTheyBreak) {
    const std::vector<uint8_t> past_end = {1, 4, 0, 0, 0, 0, 127, 4, 0, 0, 0, 0, 0xD1, 4, 0, 0, 0, 0};
    const struct {
        const char *what;
        std::vector<uint8_t> table;
        TableEnd table_end;
        WalkEnd end;
        uint64_t offset;
    } cases[] = {
        {"length 0", {1, 0, 0, 0, 0, 0, 0xD1, 4, 0, 0, 0, 0}, SMBIOS3_TABLE_END, WalkEnd::SHORTER_THAN_HEADER, 0},
        {"length 2",
         {0, 4, 0, 0, 0, 0, 1, 2, 0, 0, 0, 0, 0xD1, 4, 0, 0, 0, 0},
         SMBIOS3_TABLE_END,
         WalkEnd::SHORTER_THAN_HEADER,
         6},
        {"a length past the end",
         {0, 4, 0, 0, 0, 0, 0xD1, 200, 0, 0, 0, 2, 0, 0},
         SMBIOS3_TABLE_END,
         WalkEnd::FORMATTED_CUT,
         6},
        {"no string terminator",
         {1, 4, 0, 0, 'a', 0, 'b', 0, 0xD1, 4, 0},
         SMBIOS3_TABLE_END,
         WalkEnd::STRINGS_UNTERMINATED,
         0},
        {"zeros in the formatted area", {0xD1, 6, 0, 0, 0, 0, 0, 0}, SMBIOS3_TABLE_END, WalkEnd::FOUND, 0},
        {"past the end-of-table, SMBIOS 3", past_end, SMBIOS3_TABLE_END, WalkEnd::NOT_IN_TABLE, 6},
        {"past the end-of-table, SMBIOS 2", past_end, Smbios2TableEnd(0), WalkEnd::FOUND, 12},
        {"past the end-of-table, beyond the count", past_end, Smbios2TableEnd(2), WalkEnd::NOT_IN_TABLE, 6},
        {"past the end-of-table, a bare table", past_end, BARE_TABLE_END, WalkEnd::FOUND, 12},
        {"a break past the end-of-table",
         {127, 4, 0, 0, 0, 0, 1, 2, 0, 0, 0xD1, 4, 0, 0, 0, 0},
         Smbios2TableEnd(0),
         WalkEnd::NOT_IN_TABLE,
         6},
        {"no end-of-table, SMBIOS 3", {1, 4, 0, 0, 0, 0}, SMBIOS3_TABLE_END, WalkEnd::NO_END_OF_TABLE, 0},
        {"no end-of-table, a bare table", {1, 4, 0, 0, 0, 0}, BARE_TABLE_END, WalkEnd::NO_END_OF_TABLE, 0},
        {"no end-of-table, SMBIOS 2", {1, 4, 0, 0, 0, 0}, Smbios2TableEnd(0), WalkEnd::NOT_IN_TABLE, 0},
    };
    for (const auto &c : cases) {
        const TableWalk walk = FindInPieces(c.table, 209, 0, c.table_end);
        EXPECT_EQ(walk.end, c.end) << c.what;
        EXPECT_EQ(walk.structure_offset, c.offset) << c.what;
    }
}

TEST(SmbiosTable, EntryPointsThatPointOutsideTheFile) {
    const std::vector<uint8_t> table(SMALL.begin(), SMALL.end());
    const size_t size = 32 + table.size();
    auto dump = [&](int version, uint32_t length, uint64_t address) {
        return test::Dump(version, table, length, address);
    };
    std::vector<uint8_t> bad_checksum = test::Dump(3, table), bad_length = test::Dump(2, table);
    bad_checksum[0x10] ^= 1;
    bad_length[5] = 0x40;
    // SMBIOS 2.0: version 2.1, a 6-byte table at offset 16.
    std::vector<uint8_t> legacy = {'_', 'D', 'M', 'I', '_', 0, 6, 0, 16, 0, 0, 0, 1, 0, 0x21, 0};
    for (size_t i = 0; i < 15; ++i) legacy[5] = static_cast<uint8_t>(legacy[5] - (i == 5 ? 0 : legacy[i]));
    legacy.insert(legacy.end(), {127, 4, 0, 0, 0, 0});
    const struct {
        const char *what;
        std::vector<uint8_t> file;
        LocateFault fault;
        uint64_t length;
    } cases[] = {
        {"_SM3_ address past the end", dump(3, 36, size + 1), LocateFault::TABLE_OUTSIDE, 0},
        {"_SM3_ address at the end: an empty table", dump(3, 36, size), LocateFault::NONE, 0},
        {"_SM3_ 64-bit address", dump(3, 36, uint64_t{1} << 32 | 32), LocateFault::TABLE_OUTSIDE, 0},
        {"_SM3_ largest size past the end: cut to the file", dump(3, 0xFFFFFFFF, 32), LocateFault::NONE, table.size()},
        {"_SM_ length past the end: a trimmed copy, read to its end", dump(2, 38, 32), LocateFault::NONE, table.size()},
        {"_SM_ address past the end", dump(2, 36, 0xFFFFFFF0), LocateFault::TABLE_OUTSIDE, 0},
        {"_SM_ table shorter than the file", dump(2, 8, 32), LocateFault::NONE, 8},
        {"a checksum that does not add up", bad_checksum, LocateFault::CHECKSUM, 0},
        {"_SM_ length byte 0x40", bad_length, LocateFault::ENTRY_POINT_LENGTH, 0},
        {"legacy _DMI_", legacy, LocateFault::NONE, 6},
    };
    for (const auto &c : cases) {
        const TableLocation where = LocateDumpTable(c.file.data(), c.file.size());
        EXPECT_EQ(where.fault, c.fault) << c.what;
        if (c.fault == LocateFault::NONE) {
            EXPECT_EQ(where.length, c.length) << c.what;
        }
    }
    // An entry point cut at every byte.
    for (int version : {3, 2}) {
        const std::vector<uint8_t> file = test::Dump(version, table);
        const size_t entry_size = version == 3 ? SMBIOS3_ENTRY_POINT_SIZE : SMBIOS2_ENTRY_POINT_SIZE;
        for (size_t cut = 5; cut < entry_size; ++cut) {
            EXPECT_EQ(LocateDumpTable(file.data(), cut).fault, LocateFault::ENTRY_POINT_CUT) << version << " " << cut;
        }
    }
    // An SMBIOS 3 entry point may say it is up to 255 bytes long; a dump's
    // header holds 32 of them, and takes none longer.
    std::vector<uint8_t> long_entry = test::Dump(3, table);
    long_entry.resize(255);
    long_entry[6] = 255;
    long_entry[5] = 0;
    uint8_t sum = 0;
    for (const uint8_t byte : long_entry) sum = static_cast<uint8_t>(sum + byte);
    long_entry[5] = static_cast<uint8_t>(-sum);
    uint8_t header[DUMP_TABLE_OFFSET];
    EXPECT_EQ(ReadEntryPoint(long_entry.data(), long_entry.size()).entry_point_length, 255);
    EXPECT_FALSE(DumpHeader(long_entry.data(), long_entry.size(), header));
}

// A type-41 entry: its fields, its label, and the ways firmware says it
// names no function (the real servers' entries are checked through the tool).
TEST(SmbiosTable, OnboardDevices) {
    using namespace std::string_literals;
    const auto entry = [](uint8_t label, uint16_t segment, uint8_t bus, uint8_t devfn) {
        return test::WithStrings({41, 11, 0, 0x41, label, 0x05, 3, static_cast<uint8_t>(segment),
                                  static_cast<uint8_t>(segment >> 8), bus, devfn},
                                 "Chip\0NIC Port 1"s);
    };
    const struct {
        std::vector<uint8_t> structure;
        bool read, has_address;
        std::string label;
    } cases[] = {
        {entry(2, 0x0102, 0x18, 0x0A), true, true, "NIC Port 1"},
        {entry(3, 0, 0x18, 0x01), true, true, ""},       // a label past the strings
        {entry(1, 0, 0xFF, 0xFF), true, false, "Chip"},  // bus FF: none
        {entry(1, 0, 0, 0), true, false, "Chip"},        // the host bridge: a placeholder
        {entry(1, 1, 0, 0), true, true, "Chip"},         // another segment's 00:00.0
        {{41, 10, 0, 0, 1, 0x85, 1, 0, 0, 3, 0, 0, 0}, false, false, ""},
    };
    for (const auto &c : cases) {
        OnboardDevice device{};
        ASSERT_EQ(ReadOnboardDevice(c.structure.data(), c.structure.size(), device), c.read) << c.label;
        if (!c.read) continue;
        EXPECT_EQ(device.has_address, c.has_address) << c.label;
        EXPECT_EQ(std::string(device.label.text ? device.label.text : "", device.label.size), c.label);
    }
    OnboardDevice device{};
    ASSERT_TRUE(ReadOnboardDevice(cases[0].structure.data(), cases[0].structure.size(), device));
    EXPECT_EQ(std::vector<unsigned>(
                  {device.device_type, device.enabled, device.instance, device.segment, device.bus, device.devfn}),
              std::vector<unsigned>({DEVICE_TYPE_ETHERNET, 0, 3, 0x0102, 0x18, 0x0A}));
}

// GetSystemFirmwareTable('RSMB') under Wine 8: SMBIOS 2.4, 123 bytes of
// table (types 0, 1, 3, 2, 32, 127), behind the 8-byte header.
const char WINE_RSMB[] =
    "000204007B0000000018000000000000000004000000000000000000FFFFFFFF"
    "0000011B0100000000003D1219C7C4C5404AAA1F6D2A48ADFDA4020000000003"
    "15020000020000000202020200000000000000030000020F0300000000000005"
    "0002000A000000201404000000000000000000000000000000000000007F0405"
    "000000";

std::vector<uint8_t> Hex(const std::string &hex) {
    std::vector<uint8_t> bytes;
    for (size_t i = 0; i + 1 < hex.size(); i += 2)
        bytes.push_back(static_cast<uint8_t>(std::stoi(hex.substr(i, 2), nullptr, 16)));
    return bytes;
}

TEST(SmbiosTable, WindowsRawSmbiosBuffers) {
    const std::vector<uint8_t> wine = Hex(WINE_RSMB);
    TableLocation where = LocateRawSmbiosTable(wine.data(), wine.size());
    ASSERT_EQ(where.fault, LocateFault::NONE);
    EXPECT_EQ(where.offset, 8u);
    EXPECT_EQ(where.length, 123u);
    EXPECT_EQ(where.kind, EntryPointKind::SMBIOS2);
    EXPECT_EQ(FindInPieces({wine.begin() + 8, wine.end()}, 209, 0, TableEndOf(where)).end, WalkEnd::NOT_IN_TABLE);
    EXPECT_EQ(FindInPieces({wine.begin() + 8, wine.end()}, 32, 0, TableEndOf(where)).end, WalkEnd::FOUND);

    // The same layout around a real board's table finds its ports.
    const std::vector<uint8_t> table = test::WholeTable(test::ReadBoards(TESMARON_REAL_BOARDS).at(83));
    std::vector<uint8_t> raw = {0, 3, 2, 0, static_cast<uint8_t>(table.size()), static_cast<uint8_t>(table.size() >> 8),
                                0, 0};
    raw.insert(raw.end(), table.begin(), table.end());
    where = LocateRawSmbiosTable(raw.data(), raw.size());
    ASSERT_EQ(where.fault, LocateFault::NONE);
    EXPECT_EQ(FindInPieces({raw.begin() + 8, raw.end()}, 209, 0).end, WalkEnd::FOUND);

    // A header whose length runs past the buffer, and a buffer cut inside it.
    raw[4] = static_cast<uint8_t>(table.size() + 1);
    raw[5] = static_cast<uint8_t>((table.size() + 1) >> 8);
    EXPECT_EQ(LocateRawSmbiosTable(raw.data(), raw.size()).fault, LocateFault::TABLE_OUTSIDE);
    for (size_t cut = 0; cut < RAW_SMBIOS_HEADER_SIZE; ++cut) {
        EXPECT_EQ(LocateRawSmbiosTable(raw.data(), cut).fault, LocateFault::ENTRY_POINT_CUT) << cut;
    }
}

}  // namespace
