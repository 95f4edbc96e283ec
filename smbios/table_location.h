// SPDX-License-Identifier: MIT
// Where the SMBIOS table lies in the containers it comes in: a file written
// by `dmidecode --dump-bin` (an entry point at offset 0, the table where the
// entry point says), a bare copy of the kernel's table, or the buffer that
// Windows' GetSystemFirmwareTable('RSMB') fills (an 8-byte header, then the
// table). Pure code, like the walk: every address and length in the
// container is checked against the bytes given before it is used.
#pragma once

#include <cstddef>
#include <cstdint>

#include "table_walk.h"

namespace tesmaron::smbios {

enum class EntryPointKind : uint8_t {
    NONE,     // no anchor at offset 0: the whole file is the table
    SMBIOS3,  // "_SM3_", 64-bit table address, a maximum table size
    SMBIOS2,  // "_SM_" with its "_DMI_" part, 32-bit address, exact size
    LEGACY,   // "_DMI_" alone, as SMBIOS 2.0 and earlier
};

enum class LocateFault : uint8_t {
    NONE,
    ENTRY_POINT_CUT,     // the file ends inside the entry point
    ENTRY_POINT_LENGTH,  // the entry point gives a length its kind cannot have
    CHECKSUM,            // an entry point checksum does not add up to 0
    TABLE_OUTSIDE,       // the table's address (in Windows' buffer, its length) points past the end
};

struct TableLocation {
    EntryPointKind kind;
    LocateFault fault;
    uint8_t entry_point_length;  // bytes of the entry point, as its length byte gives them
    uint8_t major, minor;        // SMBIOS version the entry point gives
    uint64_t address;            // where the entry point places the table
    uint64_t stated_length;      // the table length it gives (a maximum for SMBIOS3)
    uint32_t structure_count;    // the structures it counts in the table (SMBIOS2, LEGACY)
    // On success, the table: file + offset, length bytes.
    uint64_t offset;
    uint64_t length;
};

inline constexpr size_t SMBIOS3_ENTRY_POINT_SIZE = 24;
inline constexpr size_t SMBIOS2_ENTRY_POINT_SIZE = 31;
inline constexpr size_t LEGACY_ENTRY_POINT_SIZE = 15;

TableLocation LocateDumpTable(const uint8_t *file, size_t size);

// The entry point alone at the start of `bytes`, as the kernel shows it in
// /sys/firmware/dmi/tables/smbios_entry_point: its kind, version, and the
// table's address, length and structure count; no table is placed.
TableLocation ReadEntryPoint(const uint8_t *bytes, size_t size);

// How far the table behind an entry point goes (TableEnd): SMBIOS 3 to its
// end-of-table structure, SMBIOS 2 and earlier on to their length and the
// structures they count; with no entry point, as the kernel's own copy.
TableEnd TableEndOf(const TableLocation &where);

// The buffer GetSystemFirmwareTable('RSMB', 0, ...) fills: calling method,
// SMBIOS major and minor version, DMI revision, the table's length as a
// 32-bit little-endian number, then the table.
inline constexpr size_t RAW_SMBIOS_HEADER_SIZE = 8;

// ENTRY_POINT_CUT when the header itself is cut, TABLE_OUTSIDE when its
// length runs past the buffer. The kind follows the major version (SMBIOS3
// from 3 on, else SMBIOS2 with no structure count).
TableLocation LocateRawSmbiosTable(const uint8_t *data, size_t size);

// The first bytes of a dump as `dmidecode --dump-bin` writes one: the entry
// point, its table address moved to DUMP_TABLE_OFFSET, where the table
// follows in the file, its checksums made good again; the rest zero. False
// when `entry_point` holds none that ReadEntryPoint accepts, or one longer
// than the header holds (an SMBIOS 3 entry point may say it is up to 255
// bytes long; every one defined so far is 24).
inline constexpr size_t DUMP_TABLE_OFFSET = 32;
bool DumpHeader(const uint8_t *entry_point, size_t size, uint8_t (&header)[DUMP_TABLE_OFFSET]);

// The same for a table that comes with its version but no entry point
// (Windows' RSMB buffer): SMBIOS 3 from major 3 on; else SMBIOS 2, with the
// structures it holds and the largest one, as an SMBIOS 2 entry point
// counts them.
void DumpHeaderFor(uint8_t major, uint8_t minor, uint8_t revision, const uint8_t *table, uint32_t size,
                   uint8_t (&header)[DUMP_TABLE_OFFSET]);

// "_SM3_", "_SM_", "_DMI_", or "" for NONE.
const char *EntryPointName(EntryPointKind kind);

}  // namespace tesmaron::smbios
