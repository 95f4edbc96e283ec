// SPDX-License-Identifier: MIT
// The walk over an SMBIOS table, a byte at a time through headers and
// strings, so that it can be fed the table in pieces of any size.
#include "table_walk.h"

namespace tesmaron::smbios {

namespace {

// Past a whole structure, perhaps the last the entry point counts.
void Passed(TableWalk &walk) {
    ++walk.structures;
    if (walk.structures == walk.table_end.structure_count) walk.end = WalkEnd::NOT_IN_TABLE;
    walk.structure_size = 0;
}

// A whole structure has been taken: the one asked for, or one more passed.
void StructureDone(TableWalk &walk) {
    if (walk.structure_type == walk.wanted_type) {
        if (walk.passed == walk.wanted_instance) {
            walk.end = WalkEnd::FOUND;
            return;
        }
        ++walk.passed;
    }
    Passed(walk);
}

// The table breaks; past its end-of-table structure it had ended already.
void Break(TableWalk &walk, WalkEnd fault) { walk.end = walk.end_of_table_seen ? WalkEnd::NOT_IN_TABLE : fault; }

}  // namespace

TableWalk StartWalk(uint8_t type, uint32_t instance, TableEnd table_end) {
    TableWalk walk{};
    walk.wanted_type = type;
    walk.wanted_instance = instance;
    walk.table_end = table_end;
    walk.end = WalkEnd::WALKING;
    return walk;
}

void WalkTable(TableWalk &walk, const uint8_t *bytes, size_t size) {
    size_t at = 0;
    while (at < size && walk.end == WalkEnd::WALKING) {
        const uint64_t taken = walk.structure_size;
        if (taken == 0) {
            walk.structure_offset = walk.offset;
            walk.structure_type = bytes[at];
            walk.structure_length = 0;
            walk.last_was_zero = false;
        } else if (taken == 1) {
            walk.structure_length = bytes[at];
            // The end-of-table structure closes the table, or only the part
            // of it that the firmware vouches for; a length below the header
            // leaves no way to find the next structure.
            if (walk.structure_type == END_OF_TABLE_TYPE) {
                walk.end_of_table_seen = true;
                if (!walk.table_end.past_end_of_table) walk.end = WalkEnd::NOT_IN_TABLE;
            }
            if (walk.end == WalkEnd::WALKING && walk.structure_length < STRUCTURE_HEADER_SIZE) {
                Break(walk, WalkEnd::SHORTER_THAN_HEADER);
            }
        } else if (taken < walk.structure_length) {
            // The rest of the formatted area: skipped whole, zeros and all.
            const uint64_t left = walk.structure_length - taken;
            const size_t skip = left < size - at ? static_cast<size_t>(left) : size - at;
            at += skip;
            walk.offset += skip;
            walk.structure_size += skip;
            continue;
        } else {
            // The string set: two zero bytes in a row end it.
            const bool zero = bytes[at] == 0;
            const bool ends = zero && walk.last_was_zero;
            walk.last_was_zero = zero;
            ++at;
            ++walk.offset;
            ++walk.structure_size;
            if (ends) StructureDone(walk);
            continue;
        }
        ++at;
        ++walk.offset;
        ++walk.structure_size;
    }
}

void FinishWalk(TableWalk &walk) {
    if (walk.end != WalkEnd::WALKING) return;
    const uint64_t taken = walk.structure_size;
    if (taken == 0) {
        // Between two structures: the end of the table, unless it needs an
        // end-of-table structure and has had none.
        const bool cut = walk.table_end.end_of_table_required && !walk.end_of_table_seen;
        walk.end = cut ? WalkEnd::NO_END_OF_TABLE : WalkEnd::NOT_IN_TABLE;
    } else if (taken < STRUCTURE_HEADER_SIZE) {
        Break(walk, WalkEnd::HEADER_CUT);
    } else if (taken < walk.structure_length) {
        Break(walk, WalkEnd::FORMATTED_CUT);
    } else {
        Break(walk, WalkEnd::STRINGS_UNTERMINATED);
    }
}

TableWalk FindStructure(const uint8_t *table, size_t size, uint8_t type, uint32_t instance, TableEnd table_end) {
    TableWalk walk = StartWalk(type, instance, table_end);
    WalkTable(walk, table, size);
    FinishWalk(walk);
    return walk;
}

void ResumeWalk(TableWalk &walk) {
    if (walk.end != WalkEnd::FOUND) return;
    walk.end = WalkEnd::WALKING;
    ++walk.wanted_instance;
    ++walk.passed;
    Passed(walk);
}

TableWalk FindNext(const uint8_t *table, size_t size, TableWalk walk) {
    if (walk.end != WalkEnd::FOUND) return walk;
    ResumeWalk(walk);
    if (walk.offset < size) WalkTable(walk, table + walk.offset, size - static_cast<size_t>(walk.offset));
    FinishWalk(walk);
    return walk;
}

}  // namespace tesmaron::smbios
