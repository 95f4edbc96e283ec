// SPDX-License-Identifier: MIT
// Finding the table in a dump, a bare copy or Windows' RSMB buffer: entry
// points read and checked against the bytes given.
#include "table_location.h"

#include <cstring>

namespace tesmaron::smbios {

namespace {

uint32_t Le(const uint8_t *at, int bytes) {
    uint32_t value = 0;
    for (int i = bytes - 1; i >= 0; --i) value = value << 8 | at[i];
    return value;
}

bool SumsToZero(const uint8_t *at, size_t size) {
    uint8_t sum = 0;
    for (size_t i = 0; i < size; ++i) sum = static_cast<uint8_t>(sum + at[i]);
    return sum == 0;
}

bool HasAnchor(const uint8_t *file, size_t size, const char *anchor) {
    const size_t n = std::strlen(anchor);
    return size >= n && std::memcmp(file, anchor, n) == 0;
}

// The table lies inside the container. In a dump it is read as far as the
// file goes: an SMBIOS3 length is only the table's largest size, and the
// kernel trims its copy of an SMBIOS 2 table to what its own walk covered
// while its entry point keeps the firmware's length (dmidecode --dump-bin
// writes both as they are). A structure that the file's end cuts is still
// cut short. Windows' buffer gives the exact length of what it holds.
void PlaceTable(TableLocation &where, size_t file_size, bool file_may_end_first) {
    if (where.address > file_size || (!file_may_end_first && where.stated_length > file_size - where.address)) {
        where.fault = LocateFault::TABLE_OUTSIDE;
        return;
    }
    where.offset = where.address;
    where.length = where.stated_length;
    if (where.length > file_size - where.address) where.length = file_size - where.address;
}

void PutLe(uint8_t *at, uint64_t value, int bytes) {
    for (int i = 0; i < bytes; ++i) at[i] = static_cast<uint8_t>(value >> (8 * i));
}

// The byte at `at` that makes `size` bytes from `from` sum to 0.
void Checksum(uint8_t *from, size_t size, size_t at) {
    from[at] = 0;
    uint8_t sum = 0;
    for (size_t i = 0; i < size; ++i) sum = static_cast<uint8_t>(sum + from[i]);
    from[at] = static_cast<uint8_t>(-sum);
}

}  // namespace

TableLocation ReadEntryPoint(const uint8_t *file, size_t size) {
    TableLocation where{};
    if (HasAnchor(file, size, "_SM3_")) {
        where.kind = EntryPointKind::SMBIOS3;
        if (size < SMBIOS3_ENTRY_POINT_SIZE) {
            where.fault = LocateFault::ENTRY_POINT_CUT;
        } else if (file[6] < SMBIOS3_ENTRY_POINT_SIZE || file[6] > size) {
            where.fault = file[6] > size ? LocateFault::ENTRY_POINT_CUT : LocateFault::ENTRY_POINT_LENGTH;
        } else if (!SumsToZero(file, file[6])) {
            where.fault = LocateFault::CHECKSUM;
        } else {
            where.entry_point_length = file[6];
            where.major = file[7];
            where.minor = file[8];
            where.stated_length = Le(file + 0x0C, 4);
            where.address = uint64_t{Le(file + 0x14, 4)} << 32 | Le(file + 0x10, 4);
        }
    } else if (HasAnchor(file, size, "_SM_")) {
        where.kind = EntryPointKind::SMBIOS2;
        // The length byte is 0x1F; some SMBIOS 2.1 firmware wrote 0x1E.
        if (size < SMBIOS2_ENTRY_POINT_SIZE) {
            where.fault = LocateFault::ENTRY_POINT_CUT;
        } else if (file[5] < 0x1E || file[5] > 0x20) {
            where.fault = LocateFault::ENTRY_POINT_LENGTH;
        } else if (file[5] > size) {
            where.fault = LocateFault::ENTRY_POINT_CUT;
        } else if (!SumsToZero(file, file[5]) || std::memcmp(file + 0x10, "_DMI_", 5) != 0 ||
                   !SumsToZero(file + 0x10, LEGACY_ENTRY_POINT_SIZE)) {
            where.fault = LocateFault::CHECKSUM;
        } else {
            where.entry_point_length = file[5];
            where.major = file[6];
            where.minor = file[7];
            where.stated_length = Le(file + 0x16, 2);
            where.address = Le(file + 0x18, 4);
            where.structure_count = Le(file + 0x1C, 2);
        }
    } else if (HasAnchor(file, size, "_DMI_")) {
        where.kind = EntryPointKind::LEGACY;
        if (size < LEGACY_ENTRY_POINT_SIZE) {
            where.fault = LocateFault::ENTRY_POINT_CUT;
        } else if (!SumsToZero(file, LEGACY_ENTRY_POINT_SIZE)) {
            where.fault = LocateFault::CHECKSUM;
        } else {
            where.entry_point_length = LEGACY_ENTRY_POINT_SIZE;
            where.major = file[14] >> 4;
            where.minor = file[14] & 0x0F;
            where.stated_length = Le(file + 6, 2);
            where.address = Le(file + 8, 4);
            where.structure_count = Le(file + 12, 2);
        }
    } else {
        where.kind = EntryPointKind::NONE;
    }
    return where;
}

TableLocation LocateDumpTable(const uint8_t *file, size_t size) {
    TableLocation where = ReadEntryPoint(file, size);
    if (where.fault != LocateFault::NONE) return where;
    if (where.kind == EntryPointKind::NONE) {
        where.stated_length = where.length = size;
    } else {
        PlaceTable(where, size, true);
    }
    return where;
}

TableEnd TableEndOf(const TableLocation &where) {
    switch (where.kind) {
        case EntryPointKind::SMBIOS3:
            return SMBIOS3_TABLE_END;
        case EntryPointKind::SMBIOS2:
        case EntryPointKind::LEGACY:
            return Smbios2TableEnd(where.structure_count);
        case EntryPointKind::NONE:
            break;
    }
    return BARE_TABLE_END;
}

TableLocation LocateRawSmbiosTable(const uint8_t *data, size_t size) {
    TableLocation where{};
    if (size < RAW_SMBIOS_HEADER_SIZE) {
        where.fault = LocateFault::ENTRY_POINT_CUT;
        return where;
    }
    where.major = data[1];
    where.minor = data[2];
    where.kind = where.major >= 3 ? EntryPointKind::SMBIOS3 : EntryPointKind::SMBIOS2;
    where.address = RAW_SMBIOS_HEADER_SIZE;
    where.stated_length = Le(data + 4, 4);
    PlaceTable(where, size, false);
    return where;
}

bool DumpHeader(const uint8_t *entry_point, size_t size, uint8_t (&header)[DUMP_TABLE_OFFSET]) {
    const TableLocation where = ReadEntryPoint(entry_point, size);
    if (where.fault != LocateFault::NONE || where.kind == EntryPointKind::NONE ||
        where.entry_point_length > DUMP_TABLE_OFFSET) {
        return false;
    }
    std::memset(header, 0, sizeof(header));
    switch (where.kind) {
        case EntryPointKind::SMBIOS3:
            std::memcpy(header, entry_point, where.entry_point_length);
            PutLe(header + 0x10, DUMP_TABLE_OFFSET, 8);
            Checksum(header, where.entry_point_length, 5);
            break;
        case EntryPointKind::SMBIOS2:
            std::memcpy(header, entry_point, where.entry_point_length);
            PutLe(header + 0x18, DUMP_TABLE_OFFSET, 4);
            Checksum(header + 0x10, LEGACY_ENTRY_POINT_SIZE, 5);
            Checksum(header, where.entry_point_length, 4);
            break;
        case EntryPointKind::LEGACY:
        case EntryPointKind::NONE:
            std::memcpy(header, entry_point, LEGACY_ENTRY_POINT_SIZE);
            PutLe(header + 8, DUMP_TABLE_OFFSET, 4);
            Checksum(header, LEGACY_ENTRY_POINT_SIZE, 5);
            break;
    }
    return true;
}

void DumpHeaderFor(uint8_t major, uint8_t minor, uint8_t revision, const uint8_t *table, uint32_t size,
                   uint8_t (&header)[DUMP_TABLE_OFFSET]) {
    std::memset(header, 0, sizeof(header));
    if (major >= 3) {
        const uint8_t entry[] = {'_', 'S', 'M', '3', '_', 0, SMBIOS3_ENTRY_POINT_SIZE, major, minor, revision, 1};
        std::memcpy(header, entry, sizeof(entry));
        PutLe(header + 0x0C, size, 4);
        PutLe(header + 0x10, DUMP_TABLE_OFFSET, 8);
        Checksum(header, SMBIOS3_ENTRY_POINT_SIZE, 5);
        return;
    }
    // The structures, each its formatted area and its strings up to two
    // zero bytes, as far as the table holds whole ones: past the
    // end-of-table structure too, where Windows hands more, as it counts.
    uint32_t count = 0, largest = 0;
    for (uint32_t at = 0; at + STRUCTURE_HEADER_SIZE <= size && table[at + 1] >= STRUCTURE_HEADER_SIZE;) {
        uint32_t end = at + table[at + 1];
        while (end + 1 < size && (table[end] != 0 || table[end + 1] != 0)) ++end;
        if (end + 1 >= size) break;
        end += 2;
        ++count;
        largest = end - at > largest ? end - at : largest;
        at = end;
    }
    const uint8_t entry[] = {'_', 'S', 'M', '_', 0, SMBIOS2_ENTRY_POINT_SIZE, major, minor};
    std::memcpy(header, entry, sizeof(entry));
    PutLe(header + 0x08, largest, 2);
    std::memcpy(header + 0x10, "_DMI_", 5);
    PutLe(header + 0x16, size, 2);
    PutLe(header + 0x18, DUMP_TABLE_OFFSET, 4);
    PutLe(header + 0x1C, count, 2);
    header[0x1E] = static_cast<uint8_t>(major << 4 | (minor & 0x0F));
    Checksum(header + 0x10, LEGACY_ENTRY_POINT_SIZE, 5);
    Checksum(header, SMBIOS2_ENTRY_POINT_SIZE, 4);
}

const char *EntryPointName(EntryPointKind kind) {
    switch (kind) {
        case EntryPointKind::SMBIOS3:
            return "_SM3_";
        case EntryPointKind::SMBIOS2:
            return "_SM_";
        case EntryPointKind::LEGACY:
            return "_DMI_";
        case EntryPointKind::NONE:
            break;
    }
    return "";
}

}  // namespace tesmaron::smbios
