// SPDX-License-Identifier: MIT
// Ports read from a whole SMBIOS table held in memory: a dump file, the
// kernel's copy, Windows' RSMB buffer; and the reading of such files.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "ports.h"
#include "smbios/table_walk.h"

namespace tesmaron::tool {

// The ports of a port structure in a whole SMBIOS table held in memory (the
// first type-209 structure), walked as far as its entry point says; or why
// there are none: no such structure, none listed, or where the table breaks
// or is cut short (not read). Beside them, the table's type-41 Ethernet
// entries. `name` says in reasons which table it is;
// `base` is the table's offset in its file, so that reasons point into the
// file.
PortList PortsFromTable(const uint8_t *table, size_t size, smbios::TableEnd table_end, const std::string &name,
                        uint64_t base = 0);

// A file written by `dmidecode --dump-bin`, or a bare copy of a table.
PortList PortsFromDump(const std::vector<uint8_t> &file, const std::string &name);

// The same, read from the file at path ("-": standard input).
PortList PortsFromDumpFile(const std::string &path);

// The buffer GetSystemFirmwareTable('RSMB') fills.
PortList PortsFromRawSmbios(const std::vector<uint8_t> &data);

// The whole of a file that others wrote ("-": standard input). 0, or the
// errno value of what went wrong: EFBIG for a file larger than any firmware
// table.
int ReadFileBytes(const std::string &path, std::vector<uint8_t> &bytes);

// The same from an open file, to its end.
int ReadAllOf(std::FILE *file, std::vector<uint8_t> &bytes);

// What a firmware file that is no regular file (a FIFO, a device, in a
// faked /sys) gives instead of an errno value: it is never read, since a
// FIFO would make the reader wait for ever.
inline constexpr int NOT_A_REGULAR_FILE = -1;

std::string FileError(int error);

}  // namespace tesmaron::tool
