#include "health_driver.h"
#include "portmap/port_table.h"

namespace tesmaron {

namespace {
constexpr uint16_t PROBE_LENGTH = 12;
constexpr uint8_t FIRST_INSTANCE = 0;
}  // namespace

void LoadPortTable(HANDLE device_handle) {
    uint8_t *reply = reply_area.bytes;

    // The probe only learns the structure's length.
    if (!SendHealthRequest(device_handle, PORT_STRUCTURE_TYPE, PROBE_LENGTH, FIRST_INSTANCE, reply, REPLY_AREA_SIZE) ||
        ReplyStatus(reply) == 0) {
        return;
    }
    const uint8_t probed_length = reply[REPLY_STRUCTURE_LENGTH_OFFSET];

    if (!SendHealthRequest(device_handle, PORT_STRUCTURE_TYPE, probed_length, FIRST_INSTANCE, reply, REPLY_AREA_SIZE) ||
        ReplyStatus(reply) == 0) {
        return;
    }
    // The fetched structure's own length counts, whatever the probe said.
    // At most 31 entries (length 255), ending at offset 253 of the area.
    const PortTable table = PortTableOf(reply + REPLY_STRUCTURE_OFFSET);
    static_assert(REPLY_STRUCTURE_OFFSET + PORT_STRUCTURE_HEADER_SIZE == REPLY_BODY_OFFSET);
    static_assert(REPLY_BODY_OFFSET + (255 - PORT_STRUCTURE_HEADER_SIZE) / 8 * 8 <= REPLY_AREA_SIZE);
    PublishPortTable(table.entry_count, table.entries);
}

}  // namespace tesmaron
