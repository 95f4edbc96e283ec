// SPDX-License-Identifier: MIT
// The firmware's SMBIOS table as it is stored: a run of structures, each a
// formatted area (type, length, handle, fields; its length in byte 1) and
// then a set of strings that ends with two zero bytes. Where the table ends
// depends on its entry point (TableEnd).
//
// Pure code over bytes the caller holds: no system call, no allocation. A
// walk can be fed the table in pieces of any size, so that the library can
// stream the kernel's copy a page at a time, and tesmaron-ports can walk a
// whole table read from a file in one call.
#pragma once

#include <cstddef>
#include <cstdint>

namespace tesmaron::smbios {

inline constexpr uint32_t STRUCTURE_HEADER_SIZE = 4;  // type, length, handle
inline constexpr uint8_t END_OF_TABLE_TYPE = 127;

// Where a table ends, as the kernel and dmidecode read it. A table behind an
// SMBIOS 3 entry point ends at its end-of-table structure: the length the
// entry point gives is only a maximum, so a table that ends without one is
// cut short. Behind an SMBIOS 2 entry point the length is exact, and
// firmware has been seen to put OEM structures behind the end-of-table
// structure: the table goes on to its length, and no further than the
// structures the entry point counts. Past the end-of-table structure,
// bytes that break end the table there, as if it had stopped.
struct TableEnd {
    bool past_end_of_table;      // read on past the end-of-table structure
    bool end_of_table_required;  // a table that ends without one is cut short
    uint32_t structure_count;    // structures in the table; 0: not counted
};
inline constexpr TableEnd SMBIOS3_TABLE_END = {false, true, 0};
// A copy of the kernel's table with no entry point (tables/DMI, and a bare
// dump of it): the kernel trims its copy to where its own walk ended, so
// the table goes to its last byte; and since every table the kernel reads
// since SMBIOS 2.2 has an end-of-table structure, one without is cut short.
inline constexpr TableEnd BARE_TABLE_END = {true, true, 0};
inline constexpr TableEnd Smbios2TableEnd(uint32_t structure_count) { return {true, false, structure_count}; }

enum class WalkEnd : uint8_t {
    WALKING,               // needs more of the table
    FOUND,                 // the structure asked for, whole
    NOT_IN_TABLE,          // the table ended first, where its TableEnd says
    HEADER_CUT,            // the table ends inside a structure's 4-byte header
    SHORTER_THAN_HEADER,   // a length byte below 4: nothing after it can be located
    FORMATTED_CUT,         // a formatted area runs past the table's end
    STRINGS_UNTERMINATED,  // a string set has no terminator before the table's end
    NO_END_OF_TABLE,       // the table ends between structures without the end-of-table structure it needs
};

// A walk for the instance-th structure (from 0) of one type, counted in
// table order, as the kernel numbers its entries: "209-0" is the first
// type-209 structure. Every bound is checked: a broken table ends the walk
// at the structure where it breaks, and nothing past the bytes given is read.
struct TableWalk {
    uint8_t wanted_type;
    uint32_t wanted_instance;
    TableEnd table_end;
    uint32_t passed;         // structures of the wanted type walked past
    uint32_t structures;     // structures walked past, of any type
    bool end_of_table_seen;  // the end-of-table structure has begun
    uint64_t offset;         // table bytes taken so far
    // The structure the walk is in; once the walk has ended, the one found
    // or the one where the table breaks.
    uint64_t structure_offset;
    uint64_t structure_size;  // bytes of it taken; when found, all of them, strings included
    uint8_t structure_type;
    uint8_t structure_length;  // its formatted area, header included
    bool last_was_zero;        // in the string set: the byte before was 0
    WalkEnd end;
};

TableWalk StartWalk(uint8_t type, uint32_t instance, TableEnd table_end);

// Takes the next `size` bytes of the table, until the walk ends.
void WalkTable(TableWalk &walk, const uint8_t *bytes, size_t size);

// The table has no more bytes: a walk still going ends here.
void FinishWalk(TableWalk &walk);

// The whole walk over a table held in memory. When it ends FOUND, the
// structure is table + structure_offset, structure_size bytes.
TableWalk FindStructure(const uint8_t *table, size_t size, uint8_t type, uint32_t instance, TableEnd table_end);

// A walk that ended FOUND goes on to the next instance of its type, from
// the byte after the structure found (walk.offset): fed the rest of the
// table, it finds what a walk for that instance alone would. Every
// structure of a type in one pass, also over a table read a page at a time.
void ResumeWalk(TableWalk &walk);

// The same over a table held in memory.
TableWalk FindNext(const uint8_t *table, size_t size, TableWalk found);

}  // namespace tesmaron::smbios
