// SPDX-License-Identifier: MIT
// Builds the bytes a health driver answers with, for the test programs.
#pragma once

#include <cstdint>
#include <vector>

namespace test {

// The status word, then a structure of the given type and length byte whose
// body is `body`, zero-padded to length - 4 bytes.
inline std::vector<uint8_t> HealthReply(uint16_t status, uint8_t length, std::vector<uint8_t> body = {},
                                        uint8_t type = 209) {
    std::vector<uint8_t> reply{
        static_cast<uint8_t>(status), static_cast<uint8_t>(status >> 8), type, length, 0x34, 0x12};
    if (length > 4 && body.size() < length - 4u) body.resize(length - 4u);
    reply.insert(reply.end(), body.begin(), body.end());
    return reply;
}

// The body of a port structure: one 8-byte entry per (bus, devfn).
inline std::vector<uint8_t> PortEntries(const std::vector<std::pair<uint8_t, uint8_t>> &bus_devfn) {
    std::vector<uint8_t> body;
    for (auto [bus, devfn] : bus_devfn) body.insert(body.end(), {devfn, bus, 0, 0, 0, 0, 0, 0});
    return body;
}

}  // namespace test
