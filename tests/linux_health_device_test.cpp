// SPDX-License-Identifier: MIT
// The Linux stand-in for the health device, over fixture files laid out like
// /sys/firmware/dmi/tables/DMI and /sys/firmware/dmi/entries.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <string>
#include <sys/stat.h>
#include <vector>

#include "healthdrv/health_driver.h"
#include "healthdrv/linux/health_device.h"
#include "portmap/port_table.h"
#include "real_boards/real_boards.h"
#include "tesmaron.h"

namespace fs = std::filesystem;
using tesmaron::linux_device::OpenSmbiosTables;

namespace {

// A type-209 structure as the kernel shows it: header, two ports on bus 2,
// then the (empty) string set.
const std::vector<uint8_t> TWO_PORTS = {0xD1, 20,   0x34, 0x12, 0x00, 2, 0, 0, 0, 0, 0,
                                        0,    0x01, 2,    0,    0,    0, 0, 0, 0, 0, 0};

// A structure of a type with strings long enough that what follows it in the
// table straddles the first page boundary.
std::vector<uint8_t> PageFiller() {
    std::vector<uint8_t> raw(4097, 'x');
    raw[0] = 11;  // OEM strings: header, a count, then the strings
    raw[1] = 5;
    raw[2] = raw[3] = 0;
    raw[4] = 1;
    raw[4095] = raw[4096] = 0;
    return raw;
}

// The kernel's copy of the table in either form it comes in: one file for
// the whole table (tables/DMI), or a folder per structure (entries/).
enum class Layout { TABLE, ENTRIES };

class SmbiosFiles : public ::testing::TestWithParam<Layout> {
protected:
    void SetUp() override {
        char name[] = "/tmp/tesmaron-dmi-XXXXXX";
        ASSERT_NE(mkdtemp(name), nullptr);
        root_ = name;
    }
    void TearDown() override {
        if (handle_ != INVALID_HANDLE_VALUE) CloseHandle(handle_);
        fs::remove_all(root_);
    }
    // The structures in table order; the kernel numbers the entries of each
    // type from 0.
    void AddStructure(const std::vector<uint8_t> &raw) {
        table_.insert(table_.end(), raw.begin(), raw.end());
        const std::string entry = std::to_string(raw[0]) + "-" + std::to_string(instances_[raw[0]]++);
        fs::create_directories(root_ / "entries" / entry);
        Write(root_ / "entries" / entry / "raw", raw);
    }
    void Open() {
        if (GetParam() == Layout::TABLE) Write(root_ / "DMI", table_);
        handle_ = OpenSmbiosTables((root_ / "smbios_entry_point").c_str(), (root_ / "DMI").c_str(),
                                   (root_ / "entries").c_str());
        ASSERT_NE(handle_, INVALID_HANDLE_VALUE);
    }
    static void Write(const fs::path &path, const std::vector<uint8_t> &bytes) {
        std::ofstream(path, std::ios::binary)
            .write(reinterpret_cast<const char *>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    }
    // One request with the library's own layout; the reply lands in reply_.
    BOOL Ask(uint8_t type, uint8_t selector, DWORD out_size = 1024, DWORD code = tesmaron::IOCTL_HEALTH_REQUEST,
             uint16_t command = tesmaron::HEALTH_COMMAND, DWORD in_size = 16) {
        tesmaron::HealthRequest request{};
        request.command = command;
        request.length = 12;
        request.structure_type = type;
        request.selector = selector;
        std::memset(reply_, 0, sizeof(reply_));
        returned_ = 0xFFFF;
        return DeviceIoControl(handle_, code, &request, in_size, reply_, out_size, &returned_, nullptr);
    }
    fs::path root_;
    std::vector<uint8_t> table_;
    std::map<uint8_t, int> instances_;
    HANDLE handle_ = INVALID_HANDLE_VALUE;
    uint8_t reply_[4096];
    DWORD returned_ = 0;
};

TEST_P(SmbiosFiles, AnswersWithTheStructureOfTheRequestedTypeAndInstance) {
    AddStructure({0, 5, 0, 0, 1, 'V', 'e', 'n', 'd', 'o', 'r', 0, 0});
    AddStructure(PageFiller());
    AddStructure(TWO_PORTS);
    AddStructure({0xD1, 4, 0, 0, 'p', 0, 0});
    AddStructure({127, 4, 0, 0, 0, 0});
    Open();
    ASSERT_TRUE(Ask(209, 0));
    EXPECT_NE(tesmaron::ReplyStatus(reply_), 0);
    EXPECT_EQ(std::memcmp(reply_ + 2, TWO_PORTS.data(), TWO_PORTS.size()), 0);
    EXPECT_EQ(returned_, TWO_PORTS.size() + 2);

    // The second one, its strings included.
    ASSERT_TRUE(Ask(209, 1));
    EXPECT_NE(tesmaron::ReplyStatus(reply_), 0);
    EXPECT_EQ(returned_, 9u);
    EXPECT_EQ(reply_[6], 'p');

    // A structure the firmware does not list: answered, with status 0.
    ASSERT_TRUE(Ask(209, 2));
    EXPECT_EQ(tesmaron::ReplyStatus(reply_), 0);
    ASSERT_TRUE(Ask(17, 0));
    EXPECT_EQ(tesmaron::ReplyStatus(reply_), 0);
}

TEST_P(SmbiosFiles, CutsALongStructureToTheOutputBuffer) {
    std::vector<uint8_t> raw(3000, 0x5A);
    raw[0] = 0xD1;
    raw[1] = 255;
    raw[2998] = raw[2999] = 0;
    AddStructure(raw);
    Open();
    ASSERT_TRUE(Ask(209, 0, 1024));
    EXPECT_EQ(returned_, 1024u);
    EXPECT_EQ(reply_[1023], 0x5A);
    EXPECT_EQ(reply_[1024], 0);  // nothing past the buffer it was given
}

// Linux stands in for the driver: a structure shorter than its own length
// byte says (a raw file cut short, seen with 12 bytes of 28) fails the
// request, rather than answer with bytes it never read.
TEST_P(SmbiosFiles, FailsForAStructureShorterThanItsLength) {
    std::vector<uint8_t> cut(TWO_PORTS.begin(), TWO_PORTS.begin() + 12);
    cut[1] = 0x1C;
    AddStructure(cut);
    Open();
    EXPECT_FALSE(Ask(209, 0));
    tesmaron::ResetPortTable();
    tesmaron::LoadPortTable(handle_);
    EXPECT_EQ(tesmaron::port_table.entry_count, 0u);
}

TEST_P(SmbiosFiles, RefusesMalformedRequests) {
    AddStructure(TWO_PORTS);
    Open();
    EXPECT_FALSE(Ask(209, 0, 1024, 0x000721E4));                              // another control code
    EXPECT_FALSE(Ask(209, 0, 1024, tesmaron::IOCTL_HEALTH_REQUEST, 0x1006));  // another command
    EXPECT_FALSE(Ask(209, 0, 1024, tesmaron::IOCTL_HEALTH_REQUEST, tesmaron::HEALTH_COMMAND, 15));
    EXPECT_FALSE(Ask(209, 0, 5));  // no room for a header
    EXPECT_EQ(reply_[0] | reply_[1], 0);
}

// The library's own loading over the Linux layer: both requests answered
// from the files, the table published from the fetched structure.
TEST_P(SmbiosFiles, LoadsThePortTable) {
    AddStructure(TWO_PORTS);
    Open();
    tesmaron::ResetPortTable();
    tesmaron::LoadPortTable(handle_);
    ASSERT_EQ(tesmaron::port_table.entry_count, 2u);
    uint32_t port = 0;
    EXPECT_EQ(LookupByPCIAddress(2, 0, 1, &port), 1u);
    EXPECT_EQ(port, 2u);
    tesmaron::ResetPortTable();
}

INSTANTIATE_TEST_SUITE_P(Kernel, SmbiosFiles, ::testing::Values(Layout::TABLE, Layout::ENTRIES),
                         [](const auto &info) { return info.param == Layout::TABLE ? "Table" : "Entries"; });

// The library's loading over a table file holding `table`, with an entry
// point of that SMBIOS version beside it (0: none), the port structure
// checked against the PCI functions in `pci` if given: the number of ports
// it publishes.
uint32_t PortsLoadedFrom(const fs::path &root, const std::vector<uint8_t> &table, int version = 0,
                         const char *pci = nullptr) {
    std::ofstream(root / "DMI", std::ios::binary)
        .write(reinterpret_cast<const char *>(table.data()), static_cast<std::streamsize>(table.size()));
    fs::remove(root / "smbios_entry_point");
    if (version != 0) {
        const std::vector<uint8_t> entry_point =
            test::EntryPoint(version, static_cast<uint32_t>(table.size()), 0x7AF2E000);
        std::ofstream(root / "smbios_entry_point", std::ios::binary)
            .write(reinterpret_cast<const char *>(entry_point.data()),
                   static_cast<std::streamsize>(entry_point.size()));
    }
    HANDLE handle = OpenSmbiosTables((root / "smbios_entry_point").c_str(), (root / "DMI").c_str(),
                                     (root / "entries").c_str(), pci);
    if (handle == INVALID_HANDLE_VALUE) return UINT32_MAX;
    tesmaron::ResetPortTable();
    tesmaron::LoadPortTable(handle);
    CloseHandle(handle);
    const uint32_t loaded = tesmaron::port_table.entry_count;
    tesmaron::ResetPortTable();
    return loaded;
}

// A table that breaks before the port structure cannot be read past the
// break: the request fails, and nothing is published.
TEST(SmbiosTableFile, ABrokenTableListsNothingPastTheBreak) {
    char name[] = "/tmp/tesmaron-dmi-XXXXXX";
    ASSERT_NE(mkdtemp(name), nullptr);
    std::vector<uint8_t> table = {1, 2, 0, 0};  // length 2: shorter than its header
    table.insert(table.end(), TWO_PORTS.begin(), TWO_PORTS.end());
    EXPECT_EQ(PortsLoadedFrom(name, table), 0u);
    fs::remove_all(name);
}

// A port list behind the end-of-table structure, as the kernel reads it:
// behind an SMBIOS 2 entry point (its structure count takes it in) and in a
// table with none, read; behind an SMBIOS 3 one, the table has ended.
TEST(SmbiosTableFile, ReadsPastTheEndOfTableAsTheKernelDoes) {
    char name[] = "/tmp/tesmaron-dmi-XXXXXX";
    ASSERT_NE(mkdtemp(name), nullptr);
    std::vector<uint8_t> table = {0, 4, 0, 0, 0, 0, 1, 4, 0, 0, 0, 0, 0xDD, 4, 0, 0, 0, 0, 127, 4, 0, 0, 0, 0};
    table.insert(table.end(), TWO_PORTS.begin(), TWO_PORTS.end());  // the 5th; the entry point counts 7
    EXPECT_EQ(PortsLoadedFrom(name, table, 2), 2u);
    EXPECT_EQ(PortsLoadedFrom(name, table, 0), 2u);
    EXPECT_EQ(PortsLoadedFrom(name, table, 3), 0u);
    fs::remove_all(name);
}

// Type 209 is an OEM number: another maker's 12-byte structure there reads
// like a port at a function this machine does not have. A port list loads
// only where one of its enabled ports is at a PCI function of this machine,
// or where the machine lists none at all (a container: nothing to tell by);
// else the type-41 Ethernet entries are the ports.
TEST(SmbiosTableFile, LoadsOnlyAPortListThatNamesThisMachine) {
    char name[] = "/tmp/tesmaron-dmi-XXXXXX";
    ASSERT_NE(mkdtemp(name), nullptr);
    const fs::path root = name, pci = root / "pci";
    const std::vector<uint8_t> other = {0xD1, 0x0C, 0x00, 0xD1, 0x78, 0x03, 0x07, 0x03, 0x04, 0x0F, 0x80, 0x05, 0, 0};
    const std::vector<uint8_t> disabled = {0xD1, 0x0C, 0x00, 0xD1, 0, 0, 0, 0x03, 0x04, 0x0F, 0x80, 0x03, 0, 0};
    // Where no port list stands, the type-41 Ethernet entries at this
    // machine's functions, by their instances: 49 (04:00.1) and 50
    // (04:00.0) here; not the disabled one, nor the one at a function the
    // machine lacks.
    std::vector<uint8_t> onboard = other;
    for (const uint8_t instance_and_devfn : {0x31, 0x32, 0x33, 0x34}) {
        const bool enabled = instance_and_devfn != 0x33;
        const uint8_t bus = instance_and_devfn == 0x34 ? 0x09 : 0x04, devfn = instance_and_devfn & 1;
        onboard.insert(onboard.end(), {41, 11, 0, 0, 0, static_cast<uint8_t>(enabled ? 0x85 : 0x05), instance_and_devfn,
                                       0, 0, bus, devfn, 0, 0});
    }
    const struct {
        std::vector<const char *> functions;  // "-": no folder at all
        const std::vector<uint8_t> &table;
        uint32_t loaded;
    } rows[] = {
        {{"0000:00:00.0", "0000:00:03.0"}, other, 0},      // 03:0f.0 is not here
        {{"0000:00:00.0"}, disabled, 0},                   // 00:00.0 is the host bridge's
        {{"0000:00:00.0", "0000:02:00.1"}, TWO_PORTS, 2},  // one of two ports here
        {{}, other, 1},                                    // an empty folder: believed
        {{"-"}, other, 1},                                 // no folder: believed
        {{"0000:00:00.0", "0000:04:00.0", "0000:04:00.1"}, onboard, 2},
    };
    for (const auto &row : rows) {
        fs::remove_all(pci);
        for (const char *function : row.functions) fs::create_directories(*function == '-' ? root : pci / function);
        if (row.functions.empty()) fs::create_directories(pci);
        EXPECT_EQ(PortsLoadedFrom(root, row.table, 0, pci.c_str()), row.loaded) << row.functions.size();
    }
    // The lookups answer them by their numbers, as tesmaron-ports does.
    HANDLE handle = OpenSmbiosTables("", (root / "DMI").c_str(), "", pci.c_str());
    tesmaron::ResetPortTable();
    tesmaron::LoadPortTable(handle);
    CloseHandle(handle);
    uint32_t port = 0, bus = 0, device = 0, function = 0;
    EXPECT_EQ(LookupByPCIAddress(4, 0, 1, &port), 1u);
    EXPECT_EQ(port, 49u);
    EXPECT_EQ(LookupByPortNumber(&bus, &device, &function, 50), 1u);
    EXPECT_EQ(bus * 100 + device * 10 + function, 400u);
    EXPECT_EQ(LookupByPortNumber(&bus, &device, &function, 1), 0u);
    tesmaron::ResetPortTable();
    fs::remove_all(root);
}

// The table is walked once per load: what the first request found answers
// the second. Once the handle is closed, nothing of it answers a handle
// opened later, though it has the same number, on another table.
TEST(SmbiosTableFile, RemembersAStructureOnlyWhileItsTableIsOpen) {
    char name[] = "/tmp/tesmaron-dmi-XXXXXX";
    ASSERT_NE(mkdtemp(name), nullptr);
    std::vector<uint8_t> other = {1, 4, 0, 0, 0, 0};  // the port structure one structure later
    other.insert(other.end(), TWO_PORTS.begin(), TWO_PORTS.end());
    EXPECT_EQ(PortsLoadedFrom(name, TWO_PORTS), 2u);
    EXPECT_EQ(PortsLoadedFrom(name, other), 2u);
    fs::remove_all(name);
}

// The whole table where the kernel has it, the entries folder only where it
// has not; only the health device's own path leads to either.
TEST(SmbiosTableFile, OpensTheTableFirstAndEntriesOnlyWithoutIt) {
    char name[] = "/tmp/tesmaron-dmi-XXXXXX";
    ASSERT_NE(mkdtemp(name), nullptr);
    const fs::path root = name, table = root / "DMI", entries = root / "entries";
    const fs::path entry_point = root / "smbios_entry_point";
    EXPECT_EQ(OpenSmbiosTables(entry_point.c_str(), table.c_str(), entries.c_str()), INVALID_HANDLE_VALUE);
    fs::create_directories(entries);
    struct stat info;
    HANDLE handle = OpenSmbiosTables(entry_point.c_str(), table.c_str(), entries.c_str());
    ASSERT_NE(handle, INVALID_HANDLE_VALUE);
    ASSERT_EQ(fstat(static_cast<int>(reinterpret_cast<intptr_t>(handle)), &info), 0);
    EXPECT_TRUE(S_ISDIR(info.st_mode));
    CloseHandle(handle);
    std::ofstream(table).put('\0');
    handle = OpenSmbiosTables(entry_point.c_str(), table.c_str(), entries.c_str());
    ASSERT_NE(handle, INVALID_HANDLE_VALUE);
    ASSERT_EQ(fstat(static_cast<int>(reinterpret_cast<intptr_t>(handle)), &info), 0);
    EXPECT_TRUE(S_ISREG(info.st_mode));
    CloseHandle(handle);
    EXPECT_EQ(CreateFileA("\\\\.\\Other", 0xC0000000u, 3, nullptr, 3, 0, nullptr), INVALID_HANDLE_VALUE);
    EXPECT_EQ(CreateFileA(nullptr, 0xC0000000u, 3, nullptr, 3, 0, nullptr), INVALID_HANDLE_VALUE);
    fs::remove_all(root);
}

}  // namespace
