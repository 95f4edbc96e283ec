// SPDX-License-Identifier: MIT
// Calls one lookup case a given number of times, for counting its
// instructions under callgrind (see icount.sh): lookup_icount CASE CALLS.
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "bench_table.h"

int main(int argc, char **argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: lookup_icount CASE CALLS\n");
        return 2;
    }
    const char *name = argv[1];
    const long calls = std::atol(argv[2]);
    bench::PublishFullTable();
    bench::BaselinePorts();

    const bool baseline = std::strncmp(name, "baseline_", 9) == 0;
    const char *what = baseline ? name + 9 : name;
    auto by_pci = baseline ? bench::BaselineLookupByPCIAddress : LookupByPCIAddress;
    auto by_port = baseline ? bench::BaselineLookupByPortNumber : LookupByPortNumber;
    bench::Address a{};
    uint32_t port = 0;
    if (std::strcmp(what, "hit_port_1") == 0)
        a = bench::AddressOf(1);
    else if (std::strcmp(what, "hit_port_31") == 0)
        a = bench::AddressOf(31);
    else if (std::strcmp(what, "miss_31_entries") == 0)
        a = bench::MISSING;
    else if (std::strcmp(what, "port_in_range") == 0)
        port = 17;
    else if (std::strcmp(what, "port_out_of_range") == 0)
        port = 32;
    else {
        std::fprintf(stderr, "lookup_icount: unknown case %s\n", name);
        return 2;
    }

    volatile uint32_t sink = 0;
    uint32_t out[3];
    for (long i = 0; i < calls; ++i) {
        sink = port == 0 ? by_pci(a.bus, a.device, a.function, &out[0]) : by_port(&out[0], &out[1], &out[2], port);
    }
    (void)sink;
    return 0;
}
