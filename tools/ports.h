// The ports tesmaron-ports reports, wherever they come from, and the
// question asked of them.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

struct PciAddress {
    uint32_t bus, device, function;
};

struct Port {
    uint32_t number;  // from 1, in the firmware's order
    PciAddress address;
    std::vector<std::string> interfaces;  // the system's names, sorted; none for another machine's table
};

// What a source found: the ports in the firmware's order, or why there are
// none; and, when the list did not come from the library, where it did.
struct PortList {
    std::vector<Port> ports;
    std::string reason;
    std::string origin;
};

// All ports, one port by number, or the first port at a PCI address: the
// answers the library's two lookups give.
struct Question {
    enum Kind { ALL, PORT, PCI } kind = ALL;
    uint32_t port = 0;
    PciAddress address{};
};

struct Answer {
    std::vector<Port> ports;
    std::string reason;  // why nothing answers, when nothing does
};

Answer Ask(const PortList &list, const Question &question);

std::string PciText(const PciAddress &address);  // BB:DD.F, hex

// The library's ports on this machine, with their interface names.
PortList LibraryPorts();

// The ports of a port structure in a whole SMBIOS table held in memory (the
// first type-209 structure), decoded as the library decodes its own; or why
// there are none: no such structure, none listed, or where the table breaks.
// `name` says in reasons which table it is; `base` is the table's offset in
// its file, so that reasons point into the file.
PortList PortsFromTable(const uint8_t *table, size_t size, const std::string &name, uint64_t base = 0);

// A file written by `dmidecode --dump-bin`, or a bare copy of a table.
PortList PortsFromDump(const std::vector<uint8_t> &file, const std::string &name);

// The buffer GetSystemFirmwareTable('RSMB') fills.
PortList PortsFromRawSmbios(const std::vector<uint8_t> &data);

// The whole of a file that others wrote. 0, or the errno value of what went
// wrong: EFBIG for a file larger than any firmware table.
int ReadFileBytes(const std::string &path, std::vector<uint8_t> &bytes);
std::string FileError(int error);
