// SPDX-License-Identifier: MIT
// Fuzzes the LLDP frame decoder with every frame a switch, or anyone on the
// wire, could send: the decoder never reads past the frame, and what it
// names, put in the three forms, is UTF-8 with no control character but
// the forms' own line ends, and one series a neighbour.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "lldp/frame.h"
#include "tools/forms.h"
#include "tools/neighbors.h"

using namespace tesmaron;

namespace {

void Require(bool invariant) {
    if (!invariant) std::abort();
}

// No byte below 0x20 but the line feed, no DEL; and every byte >= 0x80 in
// a well-formed sequence (the forms' other fuzzer checks the code points).
bool Clean(const std::string &text) {
    for (size_t at = 0; at < text.size(); ++at) {
        const auto byte = static_cast<uint8_t>(text[at]);
        if ((byte < 0x20 && byte != '\n') || byte == 0x7F) return false;
        if (byte < 0x80) continue;
        const size_t length = (byte >> 5) == 6 ? 2 : (byte >> 4) == 14 ? 3 : (byte >> 3) == 30 ? 4 : 0;
        if (length == 0 || text.size() - at < length) return false;
        for (size_t i = 1; i < length; ++i) {
            if ((static_cast<uint8_t>(text[at + i]) & 0xC0) != 0x80) return false;
        }
        at += length - 1;
    }
    return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    lldp::Neighbor neighbor;
    const lldp::FrameFault fault = lldp::DecodeFrame(data, size, neighbor);
    if (fault != lldp::FrameFault::NONE) return 0;
    Require(neighbor.ttl != 0 && neighbor.chassis_id.size > 0 && neighbor.port_id.size > 0);
    std::vector<tool::Port> ports(1);
    ports[0].number = 1;
    ports[0].interfaces = {"eno1"};
    ports[0].neighbor_sought = true;
    ports[0].neighbor = tool::NeighborOf(neighbor);
    ports[0].planned =
        tool::PlannedLink{ports[0].neighbor->system_name, ports[0].neighbor->port_id, tool::PlannedLink::AS_PLANNED};
    for (const tool::Form form : {tool::Form::LINES, tool::Form::JSON, tool::Form::METRICS}) {
        const std::string text = tool::Render(form, ports, true, false, true);
        Require(Clean(text));
        if (form == tool::Form::LINES) Require(std::count(text.begin(), text.end(), '\n') == 3);
    }
    return 0;
}
