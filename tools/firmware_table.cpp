// SPDX-License-Identifier: MIT
// Ports read from a whole SMBIOS table: a dump file, the kernel's table,
// Windows' copy. Every length and offset in them was written by someone
// else and is checked by the walk before it is used.
#include "firmware_table.h"

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "files.h"
#include "portmap/port_table.h"
#include "smbios/onboard_devices.h"
#include "smbios/table_location.h"
#include "smbios/table_walk.h"

namespace tesmaron::tool {

namespace {

// Dumps and tables are a few KiB; SMBIOS 3 lets a table grow past 64 KiB,
// but nothing near this size is a firmware table.
constexpr size_t FILE_SIZE_LIMIT = 16u << 20;

std::string Number(uint64_t value) { return std::to_string(value); }

// Why a walk for the port structure did not find it, at the file's offsets.
std::string WalkReason(const smbios::TableWalk &walk, const std::string &name, uint64_t base, size_t size) {
    const std::string at = "the structure at offset " + Number(base + walk.structure_offset) + " (type " +
                           Number(walk.structure_type) + ")";
    const std::string end = "the table's end at offset " + Number(base + size);
    switch (walk.end) {
        case smbios::WalkEnd::NOT_IN_TABLE:
            return name + " holds no list of embedded network ports (no type-209 structure, no type-41 Ethernet entry)";
        case smbios::WalkEnd::HEADER_CUT:
            return name + " is cut short: " + end + " falls inside the 4-byte header of the structure at offset " +
                   Number(base + walk.structure_offset);
        case smbios::WalkEnd::SHORTER_THAN_HEADER:
            return name + " is broken: " + at + " gives length " + Number(walk.structure_length) +
                   ", shorter than its 4-byte header";
        case smbios::WalkEnd::FORMATTED_CUT:
            return name + " is cut short: " + at + " has length " + Number(walk.structure_length) +
                   ", which runs past " + end;
        case smbios::WalkEnd::STRINGS_UNTERMINATED:
            return name + " is broken: the strings of " + at + " have no terminator before " + end;
        case smbios::WalkEnd::NO_END_OF_TABLE:
            return name + " is cut short: " + end + " comes before the end-of-table structure (type 127)";
        case smbios::WalkEnd::WALKING:
        case smbios::WalkEnd::FOUND:
            break;
    }
    return name + " could not be read";
}

std::string LocateReason(const smbios::TableLocation &where, const std::string &name, size_t size) {
    const std::string entry = std::string("its ") + smbios::EntryPointName(where.kind) + " entry point";
    switch (where.fault) {
        case smbios::LocateFault::ENTRY_POINT_CUT:
            return name + " is cut short: it ends inside " + entry + " (" + Number(size) + " bytes)";
        case smbios::LocateFault::ENTRY_POINT_LENGTH:
            return name + " is broken: " + entry + " gives a wrong length";
        case smbios::LocateFault::CHECKSUM:
            return name + " is broken: the checksum of " + entry + " does not add up";
        case smbios::LocateFault::TABLE_OUTSIDE:
            return name + " is broken: " + entry + " places the table at offset " + Number(where.address) +
                   ", past the file's end at offset " + Number(size);
        case smbios::LocateFault::NONE:
            break;
    }
    return name + " could not be read";
}

// The Ethernet entries of the table's type-41 structures, in table order,
// in one pass over the table. The walk stops where the table ends or
// breaks: a break after the port list is no reason to lose the list.
std::vector<Port> OnboardPorts(const uint8_t *table, size_t size, smbios::TableEnd table_end) {
    std::vector<Port> ports;
    smbios::TableWalk walk = smbios::FindStructure(table, size, smbios::ONBOARD_DEVICES_TYPE, 0, table_end);
    for (; walk.end == smbios::WalkEnd::FOUND; walk = smbios::FindNext(table, size, walk)) {
        smbios::OnboardDevice device;
        if (!smbios::ReadOnboardDevice(table + walk.structure_offset, walk.structure_size, device)) continue;
        if (const std::optional<Port> port = OnboardPort(device)) ports.push_back(*port);
    }
    return ports;
}

// The ports a walk for the port structure found, or why there are none;
// and the onboard devices beside them.
PortList PortsFound(const smbios::TableWalk &walk, const uint8_t *table, size_t size, smbios::TableEnd table_end,
                    const std::string &name, uint64_t base) {
    PortList list;
    if (walk.end == smbios::WalkEnd::NOT_IN_TABLE) {
        list = Listed(
            {}, name + " holds no list of embedded network ports (no type-209 structure, no type-41 Ethernet entry)");
    } else if (walk.end != smbios::WalkEnd::FOUND) {
        return Unreadable(WalkReason(walk, name, base, size));
    } else {
        // The walk found the whole formatted area inside the table, and
        // every entry lies inside the formatted area.
        list = Listed(PortsOf(PortTableOf(table + walk.structure_offset)),
                      "the list of embedded network ports in " + name + " (the type-209 structure at offset " +
                          Number(base + walk.structure_offset) + ") holds none");
    }
    list.onboard = OnboardPorts(table, size, table_end);
    return list;
}

}  // namespace

PortList PortsFromTable(const uint8_t *table, size_t size, smbios::TableEnd table_end, const std::string &name,
                        uint64_t base) {
    return PortsFound(smbios::FindStructure(table, size, PORT_STRUCTURE_TYPE, 0, table_end), table, size, table_end,
                      name, base);
}

PortList PortsFromDump(const std::vector<uint8_t> &file, const std::string &name) {
    if (file.empty()) return Unreadable(name + " is empty");
    const smbios::TableLocation where = smbios::LocateDumpTable(file.data(), file.size());
    if (where.fault != smbios::LocateFault::NONE) return Unreadable(LocateReason(where, name, file.size()));
    const uint8_t *table = file.data() + where.offset;
    const size_t size = static_cast<size_t>(where.length);
    const smbios::TableEnd table_end = smbios::TableEndOf(where);
    const smbios::TableWalk walk = smbios::FindStructure(table, size, PORT_STRUCTURE_TYPE, 0, table_end);
    // With no entry point the file is taken for a bare table; when not even
    // its first structure holds together, it is neither.
    if (where.kind == smbios::EntryPointKind::NONE && walk.end != smbios::WalkEnd::FOUND &&
        walk.end != smbios::WalkEnd::NOT_IN_TABLE && walk.end != smbios::WalkEnd::NO_END_OF_TABLE &&
        walk.structure_offset == 0) {
        return Unreadable(name + " is no SMBIOS table or dump: it starts with neither an entry point nor a structure");
    }
    return PortsFound(walk, table, size, table_end, name, where.offset);
}

PortList PortsFromRawSmbios(const std::vector<uint8_t> &data) {
    const std::string name = "the firmware's SMBIOS table";
    const smbios::TableLocation where = smbios::LocateRawSmbiosTable(data.data(), data.size());
    if (where.fault == smbios::LocateFault::ENTRY_POINT_CUT) {
        return Unreadable(name + " is cut short: " + Number(data.size()) + " bytes, fewer than its 8-byte header");
    }
    if (where.fault != smbios::LocateFault::NONE) {
        return Unreadable(name + " is broken: its header gives " + Number(where.stated_length) +
                          " bytes of table, and only " + Number(data.size() - smbios::RAW_SMBIOS_HEADER_SIZE) +
                          " follow");
    }
    return PortsFromTable(data.data() + where.offset, static_cast<size_t>(where.length), smbios::TableEndOf(where),
                          name);
}

PortList PortsFromDumpFile(const std::string &path) {
    const std::string name = path == "-" ? "standard input" : path;
    std::vector<uint8_t> file;
    if (const int error = ReadFileBytes(path, file); error != 0) {
        return Unreadable("cannot read " + name + ": " + FileError(error));
    }
    return PortsFromDump(file, name);
}

int ReadFileBytes(const std::string &path, std::vector<uint8_t> &bytes) {
    bytes.clear();
    errno = 0;
    const bool standard_input = path == "-";
    if (standard_input) ReadStandardInputAsBytes();  // a binary dump, no line ends translated
    std::FILE *file = standard_input ? stdin : OpenForReading(path);
    if (file == nullptr) return errno != 0 ? errno : EIO;
    const int error = ReadAllOf(file, bytes);
    if (!standard_input) std::fclose(file);
    return error;
}

int ReadAllOf(std::FILE *file, std::vector<uint8_t> &bytes) {
    bytes.clear();
    errno = 0;
    uint8_t chunk[4096];
    for (size_t got; (got = std::fread(chunk, 1, sizeof(chunk), file)) > 0;) {
        if (bytes.size() + got > FILE_SIZE_LIMIT) return EFBIG;
        bytes.insert(bytes.end(), chunk, chunk + got);
    }
    return std::ferror(file) ? (errno != 0 ? errno : EIO) : 0;
}

std::string FileError(int error) {
    if (error == NOT_A_REGULAR_FILE) return "not a regular file (the kernel's firmware tables are)";
    if (error == EFBIG) {
        std::string text = "larger than ";  // appended: GCC 12 warns wrongly of "literal" + string
        return text.append(Number(FILE_SIZE_LIMIT >> 20)).append(" MiB, which no firmware table is");
    }
    return std::strerror(error);
}

}  // namespace tesmaron::tool
