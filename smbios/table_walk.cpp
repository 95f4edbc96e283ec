// The walk over an SMBIOS table, a byte at a time through headers and
// strings, so that it can be fed the table in pieces of any size.
#include "table_walk.h"

namespace tesmaron::smbios {

namespace {

// A whole structure has been taken: the one asked for, or one more passed.
void StructureDone(TableWalk &walk) {
    if (walk.structure_type == walk.wanted_type) {
        if (walk.passed == walk.wanted_instance) {
            walk.end = WalkEnd::FOUND;
            return;
        }
        ++walk.passed;
    }
    walk.structure_size = 0;
}

}  // namespace

TableWalk StartWalk(uint8_t type, uint32_t instance) {
    TableWalk walk{};
    walk.wanted_type = type;
    walk.wanted_instance = instance;
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
            // The end-of-table structure closes the table whatever follows;
            // a length below the header leaves no way to find the next one.
            if (walk.structure_type == END_OF_TABLE_TYPE) {
                walk.end = WalkEnd::NOT_IN_TABLE;
            } else if (walk.structure_length < STRUCTURE_HEADER_SIZE) {
                walk.end = WalkEnd::SHORTER_THAN_HEADER;
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
        walk.end = WalkEnd::NOT_IN_TABLE;  // the table ends between two structures
    } else if (taken < STRUCTURE_HEADER_SIZE) {
        walk.end = WalkEnd::HEADER_CUT;
    } else if (taken < walk.structure_length) {
        walk.end = WalkEnd::FORMATTED_CUT;
    } else {
        walk.end = WalkEnd::STRINGS_UNTERMINATED;
    }
}

TableWalk FindStructure(const uint8_t *table, size_t size, uint8_t type, uint32_t instance) {
    TableWalk walk = StartWalk(type, instance);
    WalkTable(walk, table, size);
    FinishWalk(walk);
    return walk;
}

}  // namespace tesmaron::smbios
