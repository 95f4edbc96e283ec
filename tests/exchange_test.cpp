// SPDX-License-Identifier: MIT
// The exchange with the health driver and the attach sequence, against the
// scripted fake device.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "fake_kernel32.h"
#include "health_reply.h"
#include "real_boards/real_boards.h"
#include "healthdrv/health_driver.h"
#include "library/attach.h"
#include "portmap/port_table.h"
#include "tesmaron.h"

using fake::Reply;
using test::HealthReply;

namespace {

class ExchangeTest : public ::testing::Test {
protected:
    void SetUp() override {
        fake::Reset();
        // Leftovers of an earlier load must not leak into this one.
        std::memset(tesmaron::reply_area.bytes, 0xA5, sizeof(tesmaron::reply_area.bytes));
        tesmaron::PublishPortTable(7, reinterpret_cast<const tesmaron::PortEntry *>(&fake::device));
    }
    void TearDown() override { tesmaron::ResetPortTable(); }
    const uint8_t *ExpectedEntries() const { return tesmaron::reply_area.bytes + 6; }
};

TEST_F(ExchangeTest, OpensTheHealthDeviceWithTheDocumentedArguments) {
    fake::device.open_fails = true;
    tesmaron::OnLibraryAttach();
    ASSERT_EQ(fake::device.opens.size(), 1u);
    const fake::Open &open = fake::device.opens[0];
    EXPECT_EQ(open.path, std::string("\\\\.\\ZolHlth"));
    EXPECT_EQ(open.path.size(), 11u);  // two backslashes, a dot, one backslash, the name
    EXPECT_EQ(open.access, 0xC0000000u);
    EXPECT_EQ(open.share, 3u);
    EXPECT_TRUE(open.security_null);
    EXPECT_EQ(open.disposition, 3u);
    EXPECT_EQ(open.flags, 0u);
    EXPECT_TRUE(open.template_null);
}

TEST_F(ExchangeTest, RequestsAreExactAndTheSecondAsksForTheProbedLength) {
    fake::device.replies = {{true, HealthReply(1, 40)}, {true, HealthReply(1, 28)}};
    tesmaron::OnLibraryAttach();
    ASSERT_EQ(fake::device.requests.size(), 2u);
    const uint8_t probe[16] = {0x05, 0x10, 12, 0, 0, 0, 0, 0, 0xD1, 0, 0, 0, 0, 0, 0, 0};
    const uint8_t fetch[16] = {0x05, 0x10, 40, 0, 0, 0, 0, 0, 0xD1, 0, 0, 0, 0, 0, 0, 0};
    for (size_t i = 0; i < 2; ++i) {
        const fake::Request &r = fake::device.requests[i];
        EXPECT_EQ(std::memcmp(r.bytes.data(), i == 0 ? probe : fetch, 16), 0) << "request " << i;
        EXPECT_EQ(r.device, fake::DEVICE);
        EXPECT_EQ(r.code, 0x000721E0u);
        EXPECT_EQ(r.in_size, 16u);
        EXPECT_EQ(r.out_size, 1024u);
        EXPECT_TRUE(r.output_was_cleared) << "request " << i;
        EXPECT_TRUE(r.synchronous);
        EXPECT_TRUE(r.has_bytes_returned);
    }
    // The fetched structure's own length counts: (28 - 4) / 8 entries.
    EXPECT_EQ(tesmaron::port_table.entry_count, 3u);
}

TEST_F(ExchangeTest, TheProbedLengthGoesOutZeroExtended) {
    fake::device.replies = {{true, HealthReply(1, 0xC4)}, {false, {}}};
    tesmaron::OnLibraryAttach();
    ASSERT_EQ(fake::device.requests.size(), 2u);
    EXPECT_EQ(fake::device.requests[1].bytes[2], 0xC4);
    EXPECT_EQ(fake::device.requests[1].bytes[3], 0x00);
}

// Every path through the attach sequence: how many requests, how many
// entries published, and the device closed exactly once whenever it opened;
// and what the same exchange tells tesmaron-ports.
TEST_F(ExchangeTest, AttachOutcomes) {
    using enum tesmaron::PortStructureFetch;
    const struct Case {
        const char *name;
        bool open_fails;
        std::vector<Reply> replies;
        size_t requests;
        bool published;
        uint32_t entries;
        tesmaron::PortStructureFetch fetch;
    } cases[] = {
        {"device absent", true, {}, 0, false, 0, NOT_LISTED},
        {"probe fails", false, {{false, {}}}, 1, false, 0, REQUEST_FAILED},
        {"probe status 0", false, {{true, HealthReply(0, 28)}}, 1, false, 0, NOT_LISTED},
        {"probe writes nothing", false, {{true, {}}}, 1, false, 0, NOT_LISTED},
        {"fetch fails", false, {{true, HealthReply(1, 28)}, {false, {}}}, 2, false, 0, REQUEST_FAILED},
        {"fetch status 0", false, {{true, HealthReply(1, 28)}, {true, HealthReply(0, 28)}}, 2, false, 0, NOT_LISTED},
        {"status high byte only",
         false,
         {{true, HealthReply(0x100, 20)}, {true, HealthReply(0x100, 20)}},
         2,
         true,
         2,
         FETCHED},
        {"length 12", false, {{true, HealthReply(1, 12)}, {true, HealthReply(1, 12)}}, 2, true, 1, FETCHED},
        {"length 19", false, {{true, HealthReply(1, 19)}, {true, HealthReply(1, 19)}}, 2, true, 1, FETCHED},
        {"length 20", false, {{true, HealthReply(1, 20)}, {true, HealthReply(1, 20)}}, 2, true, 2, FETCHED},
        {"length 255", false, {{true, HealthReply(1, 255)}, {true, HealthReply(1, 255)}}, 2, true, 31, FETCHED},
        {"length 11", false, {{true, HealthReply(1, 11)}, {true, HealthReply(1, 11)}}, 2, true, 0, FETCHED},
        {"length 4", false, {{true, HealthReply(1, 4)}, {true, HealthReply(1, 4)}}, 2, true, 0, FETCHED},
        // Below the header's own size: no entries, never a wrapped count.
        {"length 3", false, {{true, HealthReply(1, 3)}, {true, HealthReply(1, 3)}}, 2, true, 0, FETCHED},
        {"length 0", false, {{true, HealthReply(1, 40)}, {true, HealthReply(1, 0)}}, 2, true, 0, FETCHED},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        SetUp();
        fake::device.open_fails = c.open_fails;
        fake::device.replies = c.replies;
        tesmaron::OnLibraryAttach();

        EXPECT_EQ(fake::device.opens.size(), 1u);
        EXPECT_EQ(fake::device.requests.size(), c.requests);
        EXPECT_EQ(fake::device.closes, c.open_fails ? std::vector<HANDLE>{} : std::vector<HANDLE>{fake::DEVICE});
        EXPECT_EQ(tesmaron::port_table.entry_count, c.entries);
        const void *expected = c.published ? static_cast<const void *>(ExpectedEntries()) : nullptr;
        EXPECT_EQ(static_cast<const void *>(tesmaron::port_table.entries), expected);
        for (const fake::Request &r : fake::device.requests) EXPECT_TRUE(r.output_was_cleared);
        uint32_t port = 0xFFFF;
        if (c.entries == 0) {
            EXPECT_EQ(LookupByPCIAddress(0, 0, 0, &port), 0u);
            EXPECT_EQ(port, 0u);
        }
        if (c.open_fails) continue;
        fake::Reset();
        fake::device.replies = c.replies;
        uint8_t reply[tesmaron::REPLY_AREA_SIZE];
        EXPECT_EQ(tesmaron::FetchPortStructure(fake::DEVICE, reply), c.fetch);
    }
}

// The lookups answer from the second reply, and nothing of the first
// survives in the reply area.
TEST_F(ExchangeTest, LookupsAnswerFromTheFetchedStructure) {
    std::vector<uint8_t> probe = HealthReply(1, 44, std::vector<uint8_t>(40, 0x77));
    std::vector<uint8_t> fetch = HealthReply(1, 20, {0x00, 2, 1, 1, 1, 1, 1, 1, 0x01, 2, 1, 1, 1, 1, 1, 1});
    fake::device.replies = {{true, probe}, {true, fetch}};
    tesmaron::OnLibraryAttach();

    ASSERT_EQ(tesmaron::port_table.entry_count, 2u);
    EXPECT_EQ(std::memcmp(tesmaron::reply_area.bytes, fetch.data(), fetch.size()), 0);
    for (size_t i = fetch.size(); i < tesmaron::REPLY_AREA_SIZE; ++i) {
        ASSERT_EQ(tesmaron::reply_area.bytes[i], 0) << "offset " << i;
    }
    uint32_t port = 0, bus = 0, device = 0, function = 0;
    EXPECT_EQ(LookupByPCIAddress(2, 0, 1, &port), 1u);
    EXPECT_EQ(port, 2u);
    EXPECT_EQ(LookupByPortNumber(&bus, &device, &function, 1), 1u);
    EXPECT_EQ(bus, 2u);
    EXPECT_EQ(device, 0u);
    EXPECT_EQ(function, 0u);
    EXPECT_EQ(LookupByPortNumber(&bus, &device, &function, 3), 0u);
}

// A second attach starts from an empty table, whatever the first one found.
TEST_F(ExchangeTest, EveryAttachStartsFromAnEmptyTable) {
    fake::device.replies = {{true, HealthReply(1, 20)}, {true, HealthReply(1, 20)}};
    tesmaron::OnLibraryAttach();
    ASSERT_EQ(tesmaron::port_table.entry_count, 2u);
    fake::Reset();
    fake::device.open_fails = true;
    tesmaron::OnLibraryAttach();
    EXPECT_EQ(tesmaron::port_table.entry_count, 0u);
    EXPECT_EQ(tesmaron::port_table.entries, nullptr);
}

// Real machines' port lists, answered as a driver would (the probe with the
// structure cut to the 12 bytes it asks for): every port reads back as the
// decoder listed it, a disabled entry as 00:00.0 in its place, and each
// address maps to the first port that has it.
TEST_F(ExchangeTest, RealBoards) {
    const std::vector<test::Board> boards = test::ReadBoards(TESMARON_REAL_BOARDS);
    ASSERT_EQ(boards.size(), 100u);
    unsigned checks = 0;
    for (const test::Board &board : boards) {
        SCOPED_TRACE(board.name);
        SetUp();
        const uint8_t length = board.structure[1];
        fake::device.replies = {{true, test::BoardReply(board, 12)}, {true, test::BoardReply(board, length)}};
        tesmaron::OnLibraryAttach();
        ASSERT_EQ(fake::device.requests.size(), 2u);
        EXPECT_EQ(fake::device.requests[1].bytes[2], length);

        const uint32_t count = static_cast<uint32_t>(board.ports.size());
        for (uint32_t p = 1; p <= count; ++p) {
            const auto [bus, devfn] = board.ports[p - 1];
            uint32_t got_bus = 0, device = 0, function = 0, port = 0;
            ASSERT_EQ(LookupByPortNumber(&got_bus, &device, &function, p), 1u) << "port " << p;
            EXPECT_EQ(got_bus << 8 | device << 3 | function, uint32_t{bus} << 8 | devfn) << "port " << p;
            const uint32_t first =
                static_cast<uint32_t>(std::find(board.ports.begin(), board.ports.end(), board.ports[p - 1]) -
                                      board.ports.begin()) +
                1;
            EXPECT_EQ(LookupByPCIAddress(bus, devfn >> 3, devfn & 7, &port), 1u);
            EXPECT_EQ(port, first) << "port " << p;
            checks += 2;
        }
        uint32_t bus = 0, device = 0, function = 0;
        EXPECT_EQ(LookupByPortNumber(&bus, &device, &function, count + 1), 0u);
        ++checks;
    }
    std::printf("real boards on the host: %zu boards, %u lookups checked\n", boards.size(), checks);
}

TEST_F(ExchangeTest, SendHealthRequestReportsTheCallAndClearsAnUnansweredReply) {
    uint8_t reply[1024];
    std::memset(reply, 0xFF, sizeof(reply));
    fake::device.replies = {{false, {}}, {true, {}}};
    EXPECT_FALSE(tesmaron::SendHealthRequest(fake::DEVICE, 1, 2, 3, reply, sizeof(reply)));
    std::memset(reply, 0xFF, sizeof(reply));
    EXPECT_TRUE(tesmaron::SendHealthRequest(fake::DEVICE, 0x7F, 0xBEEF, 0x42, reply, sizeof(reply)));
    EXPECT_EQ(tesmaron::ReplyStatus(reply), 0);  // nothing written reads as refused
    const uint8_t expected[16] = {0x05, 0x10, 0xEF, 0xBE, 0, 0, 0, 0, 0x7F, 0x42, 0, 0, 0, 0, 0, 0};
    EXPECT_EQ(std::memcmp(fake::device.requests[1].bytes.data(), expected, 16), 0);
}

}  // namespace
