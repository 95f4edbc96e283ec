// SPDX-License-Identifier: MIT
// This machine's port list, decoded by the library's own code from where the
// library reads it: one source per system, linux/machine_ports.cpp and
// windows/machine_ports.cpp.
#pragma once

#include "ports.h"

namespace tesmaron::tool {

// Linux reads the kernel's copy of the firmware's SMBIOS table; Windows asks
// the health driver, and where it is not installed reads the firmware's
// SMBIOS table itself.
PortList MachinePorts();

// The end of --help, at most 78 columns a line: where this system's port
// list comes from, and what reading it needs.
extern const char MACHINE_HELP[];

}  // namespace tesmaron::tool
