// SPDX-License-Identifier: MIT
// Fuzzes tesmaron-ports from a dump to what it prints: the file read as a
// dump, its lists joined as for another machine, and the answer in each of
// the three forms. Whatever the firmware's strings hold, every form is
// UTF-8 with no control character but its line ends, the listing a line a
// port, and the metrics one series a port, as many as tesmaron_ports says.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <set>
#include <string>
#include <vector>

#include "tools/forms.h"
#include "tools/join.h"
#include "tools/firmware_table.h"

using namespace tesmaron::tool;

namespace {

void Require(bool invariant) {
    if (!invariant) std::abort();
}

// Well-formed UTF-8 (no overlong form, surrogate or code point past
// U+10FFFF), and no C0, DEL or C1 control character but the line feed.
bool Clean(const std::string &text) {
    for (size_t at = 0; at < text.size();) {
        const auto lead = static_cast<uint8_t>(text[at]);
        const size_t length = lead < 0x80         ? 1
                              : (lead >> 5) == 6  ? 2
                              : (lead >> 4) == 14 ? 3
                              : (lead >> 3) == 30 ? 4
                                                  : 0;
        if (length == 0 || text.size() - at < length) return false;
        uint32_t code = length == 1 ? lead : lead & (0x7Fu >> length);
        for (size_t i = 1; i < length; ++i) {
            if ((static_cast<uint8_t>(text[at + i]) & 0xC0) != 0x80) return false;
            code = code << 6 | (static_cast<uint8_t>(text[at + i]) & 0x3Fu);
        }
        const uint32_t shortest[] = {0, 0, 0x80, 0x800, 0x10000};
        if (code < shortest[length] || (code >= 0xD800 && code < 0xE000) || code > 0x10FFFF) return false;
        if ((code < 0x20 && code != '\n') || (code >= 0x7F && code < 0xA0)) return false;
        at += length;
    }
    return true;
}

size_t Lines(const std::string &text, const std::string &prefix, std::set<std::string> &unique) {
    size_t count = 0;
    for (size_t at = 0, end; at < text.size(); at = end + 1) {
        end = text.find('\n', at);
        const std::string line = text.substr(at, end - at);
        if (line.rfind(prefix, 0) != 0) continue;
        ++count;
        unique.insert(line);
    }
    return count;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    const PortList list = Joined(PortsFromDump(std::vector<uint8_t>(data, data + size), "fuzz"), false);
    const std::string lines = Render(Form::LINES, list.ports, list.read);
    const std::string json = Render(Form::JSON, list.ports, list.read);
    const std::string metrics = Render(Form::METRICS, list.ports, list.read);
    Require(Clean(lines) && Clean(json) && Clean(metrics));
    std::set<std::string> unique;
    Require(Lines(lines, "", unique) == list.ports.size());
    unique.clear();
    const size_t series = Lines(metrics, "tesmaron_port_info{", unique);
    Require(series == unique.size());
    if (list.read) Require(metrics.find("\ntesmaron_ports " + std::to_string(series) + "\n") != std::string::npos);
    return 0;
}
