// SPDX-License-Identifier: MIT
// Fuzzes the attach sequence with every reply a health driver could give.
//
// Input: one byte of flags (bit 0: the probe request succeeds, bit 1: the
// fetch request succeeds, bit 2: the device cannot be opened), two bytes of
// little-endian length n, n bytes of probe reply, and the rest as the fetch
// reply. Replies are cut to the 1024-byte reply area, as a driver's would be.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "../fake_kernel32.h"
#include "healthdrv/health_driver.h"
#include "library/attach.h"
#include "portmap/port_table.h"
#include "tesmaron.h"

namespace {

void Require(bool invariant) {
    if (!invariant) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    if (size < 3) return -1;  // not a script
    const uint8_t flags = data[0];
    const size_t probe_size = std::min<size_t>(data[1] | data[2] << 8, size - 3);
    const uint8_t *probe = data + 3;
    const uint8_t *fetch = probe + probe_size;
    const size_t fetch_size = size - 3 - probe_size;

    fake::Reset();
    fake::device.open_fails = flags & 4;
    fake::device.replies = {{(flags & 1) != 0, {probe, probe + probe_size}},
                            {(flags & 2) != 0, {fetch, fetch + fetch_size}}};
    // Whatever an earlier load left behind must not matter.
    std::memset(tesmaron::reply_area.bytes, 0xA5, sizeof(tesmaron::reply_area.bytes));
    tesmaron::PublishPortTable(0xFFFFFFFF, nullptr);

    tesmaron::OnLibraryAttach();

    const auto &device = fake::device;
    Require(device.opens.size() == 1);
    Require(device.requests.size() <= 2);
    Require(device.closes.size() == (fake::device.open_fails ? 0u : 1u));
    for (const fake::Request &r : device.requests) Require(r.output_was_cleared && r.out_size == 1024);

    const tesmaron::PortTable table = tesmaron::port_table;
    Require(table.entry_count <= 31);
    if (table.entries != nullptr) {
        // Published from the fetch: every entry inside its structure.
        const uint8_t *area = tesmaron::reply_area.bytes;
        Require(device.requests.size() == 2);
        Require(reinterpret_cast<const uint8_t *>(table.entries) == area + 6);
        Require(table.entry_count == 0 || 6 + 8 * table.entry_count <= 2u + area[3]);
    } else {
        Require(table.entry_count == 0);
    }

    for (uint32_t p = 1; p <= table.entry_count; ++p) {
        uint32_t bus = 0, device_number = 0, function = 0, port = 0;
        Require(LookupByPortNumber(&bus, &device_number, &function, p) == 1);
        Require(bus <= 255 && device_number <= 31 && function <= 7);
        Require(LookupByPCIAddress(bus, device_number, function, &port) == 1);
        Require(port >= 1 && port <= p);
        Require(table.entries[port - 1].bus == bus && table.entries[port - 1].devfn == (device_number << 3 | function));
    }
    uint32_t bus = 0, device_number = 0, function = 0;
    Require(LookupByPortNumber(&bus, &device_number, &function, table.entry_count + 1) == 0);
    return 0;
}
