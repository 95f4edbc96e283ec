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
