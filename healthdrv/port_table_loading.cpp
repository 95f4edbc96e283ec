#include "health_driver.h"
#include "portmap/port_table.h"

namespace tesmaron {

namespace {
constexpr uint8_t PORT_STRUCTURE_TYPE = 209;  // OEM structure listing the embedded ports
constexpr uint16_t PROBE_LENGTH = 12;
constexpr uint8_t FIRST_INSTANCE = 0;

// The structure's length byte counts its 4-byte header; the rest of the
// formatted area holds whole 8-byte entries, and a partial one is ignored.
// A length below the header itself holds no entry at all.
uint32_t EntryCount(uint8_t structure_length) {
    if (structure_length < STRUCTURE_HEADER_SIZE) return 0;
    return (structure_length - STRUCTURE_HEADER_SIZE) / sizeof(PortEntry);
}
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
    const uint32_t count = EntryCount(reply[REPLY_STRUCTURE_LENGTH_OFFSET]);
    static_assert(REPLY_BODY_OFFSET + (255 - STRUCTURE_HEADER_SIZE) / 8 * 8 <= REPLY_AREA_SIZE);
    PublishPortTable(count, reinterpret_cast<const PortEntry *>(reply + REPLY_BODY_OFFSET));
}

}  // namespace tesmaron
