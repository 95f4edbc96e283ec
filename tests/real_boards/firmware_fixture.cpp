// SPDX-License-Identifier: MIT
// Writes a real board's whole SMBIOS table as the kernel or a dump shows it,
// for the runs in private mount namespaces and the fuzz seeds:
//   firmware-fixture BOARDS LAYOUT DIR [NAME]
// LAYOUT tables3, tables2: DIR/smbios_entry_point (_SM3_ or _SM_) and DIR/DMI
//        past-end3, past-end2: the same, the port list behind the end-of-table
//        cut3: the same as tables3, cut short before the port list
//        entries: DIR/<type>-<instance>/raw for each structure
//        dump3, dump2, bare: DIR/<NAME>.<LAYOUT>, a dump or a bare table;
//        without NAME, one for each board
//        machine-tables3, machine-dump3: the same for a server of
//        onboard-devices.txt (BOARDS names that file), its type-41 entries
//        and its type-209 list, if any, in a whole table
#include <cstdio>
#include <filesystem>
#include <map>
#include <string>

#include "real_boards.h"

namespace fs = std::filesystem;

namespace {

bool Write(const fs::path &path, const std::vector<uint8_t> &bytes) {
    std::ofstream out(path, std::ios::binary);
    out.write(reinterpret_cast<const char *>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    return out.good();
}

// Where firmware typically leaves its table, below 4 GiB.
constexpr uint64_t FIRMWARE_TABLE_ADDRESS = 0x7AF2E000;

bool WriteBoard(const test::Board &board, const std::string &layout, const fs::path &dir) {
    const test::Layout order = layout.starts_with("past-end") ? test::Layout::PORTS_PAST_END
                               : layout == "cut3"             ? test::Layout::CUT_BEFORE_PORTS
                                                              : test::Layout::WHOLE;
    const std::vector<uint8_t> table = test::WholeTable(board, order);
    if (layout.starts_with("tables") || layout.starts_with("past-end") || layout == "cut3") {
        const int version = layout.back() == '3' ? 3 : 2;
        return Write(dir / "smbios_entry_point",
                     test::EntryPoint(version, static_cast<uint32_t>(table.size()), FIRMWARE_TABLE_ADDRESS)) &&
               Write(dir / "DMI", table);
    }
    if (layout == "entries") {
        std::map<uint8_t, int> instances;
        for (const std::vector<uint8_t> &structure : test::TableStructures(board)) {
            const fs::path entry =
                dir / (std::to_string(structure[0]) + "-" + std::to_string(instances[structure[0]]++));
            fs::create_directories(entry);
            if (!Write(entry / "raw", structure)) return false;
        }
        return true;
    }
    const fs::path file = dir / (board.name + "." + layout);
    if (layout == "dump3") return Write(file, test::Dump(3, table));
    if (layout == "dump2") return Write(file, test::Dump(2, table));
    if (layout == "bare") return Write(file, table);
    return false;
}

bool WriteMachine(const test::Machine &machine, const std::string &layout, const fs::path &dir) {
    const std::vector<uint8_t> table = test::MachineTable(machine);
    if (layout == "machine-dump3") return Write(dir / (machine.name + ".dump3"), test::Dump(3, table));
    return layout == "machine-tables3" &&
           Write(dir / "smbios_entry_point",
                 test::EntryPoint(3, static_cast<uint32_t>(table.size()), FIRMWARE_TABLE_ADDRESS)) &&
           Write(dir / "DMI", table);
}

// Every item of `all` named NAME (argv[4]), or every one without it, written.
template <typename Item, typename WriteItem>
int WriteAll(const std::vector<Item> &all, int argc, char **argv, WriteItem write_item) {
    int written = 0;
    for (const Item &item : all) {
        if (argc == 5 && item.name != argv[4]) continue;
        if (!write_item(item, argv[2], argv[3])) {
            std::fprintf(stderr, "firmware-fixture: cannot write %s as %s into %s\n", item.name.c_str(), argv[2],
                         argv[3]);
            return 1;
        }
        ++written;
    }
    if (written == 0) std::fprintf(stderr, "firmware-fixture: no %s in %s\n", argc == 5 ? argv[4] : "entry", argv[1]);
    return written == 0 ? 1 : 0;
}

}  // namespace

int main(int argc, char **argv) {
    if (argc != 4 && argc != 5) {
        std::fprintf(stderr, "usage: firmware-fixture BOARDS LAYOUT DIR [NAME]\n");
        return 2;
    }
    const std::string layout = argv[2];
    fs::create_directories(argv[3]);
    if (layout.starts_with("machine-")) return WriteAll(test::ReadMachines(argv[1]), argc, argv, WriteMachine);
    return WriteAll(test::ReadBoards(argv[1]), argc, argv, WriteBoard);
}
