// SPDX-License-Identifier: MIT
// What passes between the library and the health driver: the device, the
// control code, the 16-byte request and the 1024-byte reply area.
#pragma once

#include <bit>
#include <cstddef>
#include <cstdint>

#include "platform/kernel32.h"
#include "portmap/port_table.h"

namespace tesmaron {

// "\\.\ZolHlth": the health driver's device in the platform's device namespace.
inline constexpr char HEALTH_DEVICE_PATH[] = "\\\\.\\ZolHlth";
inline constexpr uint32_t HEALTH_DEVICE_ACCESS = 0xC0000000u;  // GENERIC_READ | GENERIC_WRITE
inline constexpr uint32_t HEALTH_DEVICE_SHARE = 3u;            // FILE_SHARE_READ | FILE_SHARE_WRITE
inline constexpr uint32_t HEALTH_DEVICE_DISPOSITION = 3u;      // OPEN_EXISTING

// CTL_CODE(FILE_DEVICE_DISK, 0x878, METHOD_BUFFERED, FILE_ANY_ACCESS).
inline constexpr uint32_t IOCTL_HEALTH_REQUEST = (7u << 16) | (0u << 14) | (0x878u << 2) | 0u;
static_assert(IOCTL_HEALTH_REQUEST == 0x000721E0u);

inline constexpr uint16_t HEALTH_COMMAND = 0x1005;
inline constexpr uint32_t REPLY_AREA_SIZE = 1024;

// Multi-byte fields travel little-endian; every target of the library is.
static_assert(std::endian::native == std::endian::little);

struct HealthRequest {
    uint16_t command;  // HEALTH_COMMAND
    uint16_t length;   // bytes of the structure asked for
    uint8_t unset_4[4];
    uint8_t structure_type;  // SMBIOS structure type
    uint8_t selector;        // instance of that type
    uint8_t unset_10[6];
};
static_assert(sizeof(HealthRequest) == 16);
static_assert(offsetof(HealthRequest, command) == 0);
static_assert(offsetof(HealthRequest, length) == 2);
static_assert(offsetof(HealthRequest, structure_type) == 8);
static_assert(offsetof(HealthRequest, selector) == 9);

// The reply area: a status word, then the SMBIOS structure (4-byte header,
// then its body). Only the status and the structure length are read.
inline constexpr size_t REPLY_STATUS_OFFSET = 0;
inline constexpr size_t REPLY_STRUCTURE_OFFSET = 2;
inline constexpr size_t REPLY_STRUCTURE_LENGTH_OFFSET = 3;
inline constexpr size_t REPLY_BODY_OFFSET = 6;

struct HealthReply {
    uint8_t bytes[REPLY_AREA_SIZE];
};
static_assert(sizeof(HealthReply) == REPLY_AREA_SIZE);

// Library-static; once a table is published its entries point into it.
extern HealthReply reply_area;

inline uint16_t ReplyStatus(const uint8_t *reply) {
    return static_cast<uint16_t>(reply[REPLY_STATUS_OFFSET] | (reply[REPLY_STATUS_OFFSET + 1] << 8));
}

// Clears the reply area, then sends one request. False when the
// device-control call fails; the reply itself is judged by the caller.
bool SendHealthRequest(HANDLE device_handle, uint8_t structure_type, uint16_t length, uint8_t selector, uint8_t *reply,
                       uint32_t reply_size);

// What asking the driver for the port structure came to.
enum class PortStructureFetch : uint8_t {
    FETCHED,         // both requests answered: reply holds the structure
    NOT_LISTED,      // a reply with status 0: the driver has no such structure
    REQUEST_FAILED,  // a device-control call failed
};

inline constexpr uint16_t PROBE_LENGTH = 12;  // a structure header and a first entry
inline constexpr uint8_t FIRST_INSTANCE = 0;

// Asks for the port structure twice, its length and then the whole of it,
// into reply (REPLY_AREA_SIZE bytes). The attach publishes the library's
// table from it; tesmaron-ports reads it into a reply area of its own.
// Inline: the library's image holds it once, inside LoadPortTable.
inline PortStructureFetch FetchPortStructure(HANDLE device_handle, uint8_t *reply) {
    // The probe only learns the structure's length.
    if (!SendHealthRequest(device_handle, PORT_STRUCTURE_TYPE, PROBE_LENGTH, FIRST_INSTANCE, reply, REPLY_AREA_SIZE)) {
        return PortStructureFetch::REQUEST_FAILED;
    }
    if (ReplyStatus(reply) == 0) return PortStructureFetch::NOT_LISTED;
    const uint8_t probed_length = reply[REPLY_STRUCTURE_LENGTH_OFFSET];

    if (!SendHealthRequest(device_handle, PORT_STRUCTURE_TYPE, probed_length, FIRST_INSTANCE, reply, REPLY_AREA_SIZE)) {
        return PortStructureFetch::REQUEST_FAILED;
    }
    return ReplyStatus(reply) == 0 ? PortStructureFetch::NOT_LISTED : PortStructureFetch::FETCHED;
}

// Fetches the port structure into the reply area and publishes the port
// table from it. Leaves the table as it found it, empty, on every failure.
void LoadPortTable(HANDLE device_handle);

}  // namespace tesmaron
