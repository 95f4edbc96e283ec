// SPDX-License-Identifier: MIT
// An LLDP frame walked with one cursor: each TLV's header and value checked
// against what is left of the frame before they are read.
#include "frame.h"

#include <cstring>

namespace tesmaron::lldp {

namespace {

constexpr uint8_t END = 0, CHASSIS_ID = 1, PORT_ID = 2, TTL = 3, PORT_DESCRIPTION = 4, SYSTEM_NAME = 5,
                  MANAGEMENT_ADDRESS = 8, ORGANIZATIONALLY_SPECIFIC = 127;
constexpr uint8_t IEEE_8021[3] = {0x00, 0x80, 0xC2};
constexpr uint8_t PORT_VLAN_ID = 1;

void Keep(Value &value, const uint8_t *bytes, size_t size) {
    value.size = static_cast<uint8_t>(size < sizeof(value.bytes) ? size : sizeof(value.bytes));
    std::memcpy(value.bytes, bytes, value.size);
}

uint16_t Be16(const uint8_t *at) { return static_cast<uint16_t>(at[0] << 8 | at[1]); }

// An ID TLV: a subtype and 1 to 255 bytes.
bool ReadId(const uint8_t *value, size_t size, uint8_t &subtype, Value &id) {
    if (size < 2 || size > 256) return false;
    subtype = value[0];
    Keep(id, value + 1, size - 1);
    return true;
}

// A management address TLV: the address string's length (its subtype
// byte included, 2 to 32), the subtype, the address; the rest (interface
// numbering, an OID) is not needed.
void ReadManagement(const uint8_t *value, size_t size, Neighbor &neighbor) {
    if (neighbor.has_management || size < 1 || value[0] < 2 || value[0] > 32 || value[0] >= size) return;
    neighbor.management_subtype = value[1];
    Keep(neighbor.management_address, value + 2, value[0] - 1u);
    neighbor.has_management = true;
}

void ReadOrganizational(const uint8_t *value, size_t size, Neighbor &neighbor) {
    if (size == 6 && std::memcmp(value, IEEE_8021, 3) == 0 && value[3] == PORT_VLAN_ID && !neighbor.has_vlan) {
        neighbor.vlan = Be16(value + 4);
        neighbor.has_vlan = true;
    }
}

}  // namespace

FrameFault DecodeFrame(const uint8_t *frame, size_t size, Neighbor &neighbor) {
    neighbor = {};
    size_t at = 12;  // past the destination and source addresses
    if (size >= at + 4 && Be16(frame + at) == 0x8100) at += 4;
    if (size < at + 2 || Be16(frame + at) != LLDP_ETHERTYPE) return FrameFault::NOT_LLDP;
    at += 2;
    int index = 0;
    for (; at < size; ++index) {
        if (size - at < 2) return FrameFault::TLV_CUT;
        const uint8_t type = frame[at] >> 1;
        const size_t length = static_cast<size_t>(frame[at] & 1) << 8 | frame[at + 1];
        at += 2;
        if (length > size - at) return FrameFault::TLV_CUT;
        const uint8_t *value = frame + at;
        at += length;
        // The mandatory three, first and in order.
        const uint8_t mandatory[] = {CHASSIS_ID, PORT_ID, TTL};
        if (index < 3 && type != mandatory[index]) return FrameFault::MANDATORY_MISSING;
        switch (type) {
            case END:
                return neighbor.ttl == 0 ? FrameFault::SHUTDOWN : FrameFault::NONE;
            case CHASSIS_ID:
            case PORT_ID:
                if (index >= 3) break;  // once is what the standard allows; another is passed over
                if (!(type == CHASSIS_ID ? ReadId(value, length, neighbor.chassis_subtype, neighbor.chassis_id)
                                         : ReadId(value, length, neighbor.port_subtype, neighbor.port_id)))
                    return FrameFault::MANDATORY_LENGTH;
                break;
            case TTL:
                if (index >= 3) break;
                if (length < 2) return FrameFault::MANDATORY_LENGTH;
                neighbor.ttl = Be16(value);
                break;
            case PORT_DESCRIPTION:
            case SYSTEM_NAME: {
                bool &has = type == SYSTEM_NAME ? neighbor.has_system_name : neighbor.has_port_description;
                if (!has && length <= 255) {
                    Keep(type == SYSTEM_NAME ? neighbor.system_name : neighbor.port_description, value, length);
                    has = true;
                }
                break;
            }
            case MANAGEMENT_ADDRESS:
                ReadManagement(value, length, neighbor);
                break;
            case ORGANIZATIONALLY_SPECIFIC:
                ReadOrganizational(value, length, neighbor);
                break;
            default:
                break;
        }
    }
    // No End TLV: the frame ended between TLVs, which is as good, once the
    // mandatory three are there.
    if (index < 3) return FrameFault::MANDATORY_MISSING;
    return neighbor.ttl == 0 ? FrameFault::SHUTDOWN : FrameFault::NONE;
}

}  // namespace tesmaron::lldp
