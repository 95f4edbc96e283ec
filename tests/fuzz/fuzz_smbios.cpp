// SPDX-License-Identifier: MIT
// Fuzzes the SMBIOS table format with every file a dump could be: where the
// entry point places the table, the walk over it whole and in pieces, and
// the port table and onboard devices decoded from what the walk finds; and
// the same bytes as Windows' RSMB buffer; the type-41 structures walked in
// one pass. AddressSanitizer catches any read past the input.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <initializer_list>

#include "portmap/port_table.h"
#include "smbios/onboard_devices.h"
#include "smbios/table_location.h"
#include "smbios/table_walk.h"

using namespace tesmaron::smbios;

namespace {

void Require(bool invariant) {
    if (!invariant) std::abort();
}

void WalkEveryWay(const uint8_t *table, size_t size, size_t piece, TableEnd table_end) {
    for (uint32_t instance = 0; instance < 2; ++instance) {
        const TableWalk whole = FindStructure(table, size, 209, instance, table_end);
        Require(whole.end != WalkEnd::WALKING);
        TableWalk walk = StartWalk(209, instance, table_end);
        for (size_t at = 0; at < size && walk.end == WalkEnd::WALKING; at += piece) {
            WalkTable(walk, table + at, piece < size - at ? piece : size - at);
        }
        FinishWalk(walk);
        Require(walk.end == whole.end && walk.structure_offset == whole.structure_offset &&
                walk.structure_size == whole.structure_size);
        if (whole.end != WalkEnd::FOUND) continue;
        Require(whole.structure_offset + whole.structure_size <= size);
        Require(whole.structure_length >= 4 && whole.structure_length + 2 <= whole.structure_size);
        const tesmaron::PortTable ports = tesmaron::PortTableOf(table + whole.structure_offset);
        Require(4 + 8 * ports.entry_count <= whole.structure_length);
        volatile uint32_t sum = 0;
        for (uint32_t i = 0; i < ports.entry_count; ++i) sum = sum + ports.entries[i].bus + ports.entries[i].devfn;
    }
    // Each type-41 structure in one pass, as a walk for its instance alone
    // finds it.
    TableWalk found = FindStructure(table, size, ONBOARD_DEVICES_TYPE, 0, table_end);
    for (uint32_t instance = 0; instance < 4; ++instance, found = FindNext(table, size, found)) {
        const TableWalk alone = FindStructure(table, size, ONBOARD_DEVICES_TYPE, instance, table_end);
        Require(found.end == alone.end && found.structure_offset == alone.structure_offset &&
                found.structure_size == alone.structure_size);
        if (found.end != WalkEnd::FOUND) break;
        OnboardDevice device;
        if (!ReadOnboardDevice(table + found.structure_offset, found.structure_size, device)) continue;
        const uint8_t *end = table + found.structure_offset + found.structure_size;
        Require(device.label.size == 0 ||
                (reinterpret_cast<const uint8_t *>(device.label.text) >= table &&
                 reinterpret_cast<const uint8_t *>(device.label.text) + device.label.size <= end));
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    const size_t piece = size == 0 ? 1 : 1 + data[size - 1] % 17;
    for (const TableLocation &where : {LocateDumpTable(data, size), LocateRawSmbiosTable(data, size)}) {
        if (where.fault != LocateFault::NONE) continue;
        Require(where.offset <= size && where.length <= size - where.offset);
        WalkEveryWay(data + where.offset, static_cast<size_t>(where.length), piece, TableEndOf(where));
    }
    return 0;
}
