// SPDX-License-Identifier: MIT
// This machine's port list, decoded by the library's own code from where the
// library reads it: one source per system, linux/machine_ports.cpp and
// windows/machine_ports.cpp.
#pragma once

#include <string>

#include "ports.h"

namespace tesmaron::tool {

// Linux reads the kernel's copy of the firmware's SMBIOS table; Windows asks
// the health driver, and where it is not installed reads the firmware's
// SMBIOS table itself.
PortList MachinePorts();

// This machine's firmware table as `dmidecode --dump-bin` writes it: an
// entry point at offset 0 that places the table at 32, the table there.
// "" with the dump, or why it cannot be read.
std::string MachineTableDump(std::string &dump);

// This program's own path, for the scheduled task's definition; "" where
// the system schedules it otherwise (Linux: the systemd timer).
std::string ThisProgram();

// Why a task that runs `program` as SYSTEM would run what others may change
// (its file, its folder or a folder above it is theirs to write, rename or
// re-permit), or "" when only the administrators may.
std::string OthersMayChangeProgram(const std::string &program);

// A failure of a run that nobody watches (the metrics' task): on Windows
// into the Application event log, under the source the MSI registers; on
// Linux the journal has the service's standard error already.
void ReportToSystemLog(const std::string &reason);

// The end of --help, at most 78 columns a line: where this system's port
// list comes from, and what reading it needs.
extern const char MACHINE_HELP[];

}  // namespace tesmaron::tool
