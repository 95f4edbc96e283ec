// SPDX-License-Identifier: MIT
// The LLDP frame a switch sends on each of its ports (IEEE 802.1AB): an
// Ethernet frame to 01:80:c2:00:00:0e, ethertype 0x88CC, then TLVs of a
// 7-bit type and a 9-bit length. The first three are mandatory and come in
// order: chassis ID, port ID, time to live; an End TLV closes the rest.
//
// Pure code over the bytes of one frame: no system call, no allocation.
// Every length is checked against what is left before anything is read,
// and a frame that breaks anywhere names no neighbour at all.
#pragma once

#include <cstddef>
#include <cstdint>

namespace tesmaron::lldp {

inline constexpr uint16_t LLDP_ETHERTYPE = 0x88CC;
inline constexpr uint8_t LLDP_MULTICAST[6] = {0x01, 0x80, 0xC2, 0x00, 0x00, 0x0E};

// A TLV's value, as the frame holds it (not terminated), at most 255 bytes
// kept: every string TLV the standard knows is at most that long.
struct Value {
    uint8_t bytes[255];
    uint8_t size;
};

// What a switch says of the port at the other end of the cable.
struct Neighbor {
    uint8_t chassis_subtype;  // 4: a MAC address; 5: a network address; 1-3, 6, 7: text
    Value chassis_id;
    uint8_t port_subtype;  // 3: a MAC address; 4: a network address; 1, 2, 5-7: text
    Value port_id;
    uint16_t ttl;  // seconds; 0: the switch's port is shutting down, no neighbour
    bool has_system_name, has_port_description, has_vlan, has_management;
    Value system_name;
    Value port_description;
    uint16_t vlan;                // 802.1's port VLAN ID, where sent
    uint8_t management_subtype;   // IANA's address family: 1 IPv4, 2 IPv6
    Value management_address;     // the first management address TLV's
};

enum class FrameFault : uint8_t {
    NONE,
    NOT_LLDP,           // too short for an Ethernet header, or another ethertype
    TLV_CUT,            // a TLV's header or value runs past the frame's end
    MANDATORY_MISSING,  // no chassis ID, port ID and TTL first, in that order
    MANDATORY_LENGTH,   // a mandatory TLV of a length the standard does not allow
    SHUTDOWN,           // TTL 0: the neighbour is leaving
};

// The neighbour one frame names, the frame as a packet socket gives it
// (Ethernet header first; an 802.1Q tag is passed over). Optional TLVs
// that break their own rules (a management address longer than its TLV)
// are left out; unknown and organisationally specific ones other than the
// port VLAN ID are passed over.
FrameFault DecodeFrame(const uint8_t *frame, size_t size, Neighbor &neighbor);

}  // namespace tesmaron::lldp
