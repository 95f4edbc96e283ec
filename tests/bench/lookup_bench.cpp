// SPDX-License-Identifier: MIT
// Lookup timings, each beside the same question answered by a find_if over a
// vector, so that results read as ratios on a noisy machine.
#include <benchmark/benchmark.h>

#include "bench_table.h"

namespace {

using bench::Address;

using PciLookup = decltype(&LookupByPCIAddress);
using PortLookup = decltype(&LookupByPortNumber);

void ByPCIAddress(benchmark::State &state, PciLookup lookup, Address a) {
    bench::PublishFullTable();
    uint32_t port = 0;
    for (auto _ : state) {
        benchmark::DoNotOptimize(a);
        benchmark::DoNotOptimize(lookup(a.bus, a.device, a.function, &port));
        benchmark::DoNotOptimize(port);
    }
}

void ByPortNumber(benchmark::State &state, PortLookup lookup, uint32_t port) {
    bench::PublishFullTable();
    uint32_t bus = 0, device = 0, function = 0;
    for (auto _ : state) {
        benchmark::DoNotOptimize(port);
        benchmark::DoNotOptimize(lookup(&bus, &device, &function, port));
        benchmark::DoNotOptimize(bus);
    }
}

const PciLookup library = LookupByPCIAddress, baseline = bench::BaselineLookupByPCIAddress;
const PortLookup library_port = LookupByPortNumber, baseline_port = bench::BaselineLookupByPortNumber;

BENCHMARK_CAPTURE(ByPCIAddress, hit_port_1, library, bench::AddressOf(1));
BENCHMARK_CAPTURE(ByPCIAddress, baseline_hit_port_1, baseline, bench::AddressOf(1));
BENCHMARK_CAPTURE(ByPCIAddress, hit_port_31, library, bench::AddressOf(31));
BENCHMARK_CAPTURE(ByPCIAddress, baseline_hit_port_31, baseline, bench::AddressOf(31));
BENCHMARK_CAPTURE(ByPCIAddress, miss_31_entries, library, bench::MISSING);
BENCHMARK_CAPTURE(ByPCIAddress, baseline_miss_31_entries, baseline, bench::MISSING);
BENCHMARK_CAPTURE(ByPortNumber, in_range, library_port, 17u);
BENCHMARK_CAPTURE(ByPortNumber, baseline_in_range, baseline_port, 17u);
BENCHMARK_CAPTURE(ByPortNumber, out_of_range, library_port, 32u);
BENCHMARK_CAPTURE(ByPortNumber, baseline_out_of_range, baseline_port, 32u);

}  // namespace

BENCHMARK_MAIN();
