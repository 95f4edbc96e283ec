// SPDX-License-Identifier: MIT
// The two lookups over port tables laid out in memory.
#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "portmap/port_table.h"
#include "tesmaron.h"

using tesmaron::PortEntry;

namespace {

constexpr uint32_t UNTOUCHED = 0xDEADBEEF;

PortEntry Entry(uint8_t bus, uint8_t device, uint8_t function) {
    return PortEntry{static_cast<uint8_t>(device << 3 | function), bus, {0xEE, 0xEE, 0xEE, 0xEE, 0xEE, 0xEE}};
}

class LookupTest : public ::testing::Test {
protected:
    void Publish(std::vector<PortEntry> entries) {
        table_ = std::move(entries);
        tesmaron::PublishPortTable(static_cast<uint32_t>(table_.size()), table_.data());
    }
    void TearDown() override { tesmaron::ResetPortTable(); }
    std::vector<PortEntry> table_;
};

// The typical board: two functions of one controller on bus 2.
TEST_F(LookupTest, TwoPortsOnBus2) {
    Publish({Entry(2, 0, 0), Entry(2, 0, 1)});
    uint32_t port = UNTOUCHED;
    EXPECT_EQ(LookupByPCIAddress(2, 0, 1, &port), 1u);
    EXPECT_EQ(port, 2u);
    EXPECT_EQ(LookupByPCIAddress(2, 0, 0, &port), 1u);
    EXPECT_EQ(port, 1u);

    uint32_t bus = UNTOUCHED, device = UNTOUCHED, function = UNTOUCHED;
    EXPECT_EQ(LookupByPortNumber(&bus, &device, &function, 2), 1u);
    EXPECT_EQ(bus, 2u);
    EXPECT_EQ(device, 0u);
    EXPECT_EQ(function, 1u);
}

TEST_F(LookupTest, EmptyTableFindsNothingAndStillClearsPortOut) {
    tesmaron::ResetPortTable();
    uint32_t port = UNTOUCHED;
    EXPECT_EQ(LookupByPCIAddress(0, 0, 0, &port), 0u);
    EXPECT_EQ(port, 0u);
    for (uint32_t p : {0u, 1u, 2u, 31u, 0xFFFFFFFFu}) {
        uint32_t bus = UNTOUCHED, device = UNTOUCHED, function = UNTOUCHED;
        EXPECT_EQ(LookupByPortNumber(&bus, &device, &function, p), 0u) << p;
        EXPECT_EQ(bus, UNTOUCHED);
        EXPECT_EQ(device, UNTOUCHED);
        EXPECT_EQ(function, UNTOUCHED);
    }
}

// Port bounds: the comparison is unsigned, so "negative" ports are too large.
TEST_F(LookupTest, PortNumberBounds) {
    Publish({Entry(1, 0, 0), Entry(1, 0, 1), Entry(3, 1, 2)});
    const struct {
        uint32_t port;
        uint32_t found;
    } cases[] = {
        {0, 0}, {1, 1}, {3, 1}, {4, 0}, {0x80000000u, 0}, {0xFFFFFFFFu, 0},
    };
    for (const auto &c : cases) {
        uint32_t bus = UNTOUCHED, device = UNTOUCHED, function = UNTOUCHED;
        EXPECT_EQ(LookupByPortNumber(&bus, &device, &function, c.port), c.found) << c.port;
        if (!c.found) {
            EXPECT_EQ(bus, UNTOUCHED);
            EXPECT_EQ(device, UNTOUCHED);
            EXPECT_EQ(function, UNTOUCHED);
        }
    }
    uint32_t bus = 0, device = 0, function = 0;
    ASSERT_EQ(LookupByPortNumber(&bus, &device, &function, 3), 1u);
    // devfn 0x0A on bus 3: device 1, function 2.
    EXPECT_EQ(bus, 3u);
    EXPECT_EQ(device, 1u);
    EXPECT_EQ(function, 2u);
}

// Only the low 8/5/3 bits of bus/device/function take part.
TEST_F(LookupTest, WideArgumentsUseTheirLowBits) {
    Publish({Entry(1, 0, 0), Entry(1, 1, 0), Entry(1, 0, 1), Entry(2, 1, 1)});
    const struct {
        uint32_t bus, device, function, port;
    } cases[] = {
        {0x101, 0, 0, 1},  // bus 0x101 is bus 1
        {1, 33, 0, 2},     // device 33 is device 1
        {1, 32, 0, 1},     // device 32 is device 0
        {1, 0, 9, 3},      // function 9 is function 1
        {0xFFFFFF02u, 0xFFFFFFE1u, 0xFFFFFFF9u, 4},
        {2, 1, 2, 0},
        {0x200, 0, 0, 0},  // bus 0
    };
    for (const auto &c : cases) {
        uint32_t port = UNTOUCHED;
        EXPECT_EQ(LookupByPCIAddress(c.bus, c.device, c.function, &port), c.port ? 1u : 0u)
            << c.bus << " " << c.device << " " << c.function;
        EXPECT_EQ(port, c.port);
    }
}

TEST_F(LookupTest, BusAndDevfnMustBothMatch) {
    // The same devfn on another bus, and the same bus with another devfn.
    Publish({Entry(4, 2, 0), Entry(5, 2, 1), Entry(5, 2, 0)});
    uint32_t port = UNTOUCHED;
    EXPECT_EQ(LookupByPCIAddress(5, 2, 0, &port), 1u);
    EXPECT_EQ(port, 3u);
}

TEST_F(LookupTest, FirstMatchWins) {
    Publish({Entry(7, 3, 0), Entry(2, 0, 0), Entry(7, 3, 0), Entry(2, 0, 0)});
    uint32_t port = UNTOUCHED;
    EXPECT_EQ(LookupByPCIAddress(2, 0, 0, &port), 1u);
    EXPECT_EQ(port, 2u);
}

// Every port of a full table maps back to itself, over every bus/devfn edge.
TEST_F(LookupTest, FullTableRoundTrip) {
    std::vector<PortEntry> entries;
    for (uint8_t i = 0; i < 31; ++i) entries.push_back(Entry(static_cast<uint8_t>(i * 8 + 7), i, i & 7));
    Publish(entries);
    for (uint32_t p = 1; p <= 31; ++p) {
        uint32_t bus, device, function, port = 0;
        ASSERT_EQ(LookupByPortNumber(&bus, &device, &function, p), 1u);
        EXPECT_LE(device, 31u);
        EXPECT_LE(function, 7u);
        ASSERT_EQ(LookupByPCIAddress(bus, device, function, &port), 1u);
        EXPECT_EQ(port, p);
    }
    uint32_t bus = 0, device = 0, function = 0;
    ASSERT_EQ(LookupByPortNumber(&bus, &device, &function, 31), 1u);
    EXPECT_EQ(bus, 247u);
    EXPECT_EQ(device, 30u);
    EXPECT_EQ(function, 6u);
    EXPECT_EQ(LookupByPortNumber(&bus, &device, &function, 32), 0u);
}

// The walk takes entries four at a time: every table size and every
// position, with a second copy of the address after it that must not win.
TEST_F(LookupTest, EveryPositionOfEveryTableSize) {
    for (uint8_t size = 1; size <= 31; ++size) {
        for (uint8_t at = 0; at < size; ++at) {
            std::vector<PortEntry> entries;
            for (uint8_t i = 0; i < size; ++i) entries.push_back(Entry(i, 1, 1));
            entries[at] = Entry(0x99, 4, 2);
            if (at + 1 < size) entries[size - 1] = Entry(0x99, 4, 2);
            Publish(entries);
            uint32_t port = UNTOUCHED;
            ASSERT_EQ(LookupByPCIAddress(0x99, 4, 2, &port), 1u) << int{size} << " " << int{at};
            ASSERT_EQ(port, at + 1u) << int{size} << " " << int{at};
            ASSERT_EQ(LookupByPCIAddress(0x99, 4, 3, &port), 0u);
            ASSERT_EQ(port, 0u);
        }
    }
}

// A NULL out-pointer must not crash the caller: "not found", nothing written.
TEST_F(LookupTest, NullOutPointersFindNothing) {
    Publish({Entry(2, 0, 0)});
    EXPECT_EQ(LookupByPCIAddress(2, 0, 0, nullptr), 0u);
    uint32_t a = UNTOUCHED, b = UNTOUCHED;
    EXPECT_EQ(LookupByPortNumber(nullptr, &a, &b, 1), 0u);
    EXPECT_EQ(LookupByPortNumber(&a, nullptr, &b, 1), 0u);
    EXPECT_EQ(LookupByPortNumber(&a, &b, nullptr, 1), 0u);
    EXPECT_EQ(a, UNTOUCHED);
    EXPECT_EQ(b, UNTOUCHED);
}

}  // namespace
