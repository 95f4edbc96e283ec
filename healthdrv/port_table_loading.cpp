// SPDX-License-Identifier: MIT
// The port table filled from the health driver at attach: the port
// structure fetched into the reply area, its entries published in place.
#include "health_driver.h"

namespace tesmaron {

void LoadPortTable(HANDLE device_handle) {
    uint8_t *reply = reply_area.bytes;
    if (FetchPortStructure(device_handle, reply) != PortStructureFetch::FETCHED) return;
    // The fetched structure's own length counts, whatever the probe said.
    // At most 31 entries (length 255), ending at offset 253 of the area.
    const PortTable table = PortTableOf(reply + REPLY_STRUCTURE_OFFSET);
    static_assert(REPLY_STRUCTURE_OFFSET + PORT_STRUCTURE_HEADER_SIZE == REPLY_BODY_OFFSET);
    static_assert(REPLY_BODY_OFFSET + (255 - PORT_STRUCTURE_HEADER_SIZE) / 8 * 8 <= REPLY_AREA_SIZE);
    PublishPortTable(table.entry_count, table.entries);
}

}  // namespace tesmaron
