// SPDX-License-Identifier: MIT
// Windows' scheduled task that writes the metrics, as the Task Scheduler
// takes its definition (schtasks /create /xml).
#pragma once

#include <string>

namespace tesmaron::tool {

// The task: `program` (tesmaron-ports.exe where it is installed) run as
// SYSTEM at start-up and hourly, writing `folder`\tesmaron.prom for
// windows_exporter's textfile collector. The packages' own copy,
// share\tesmaron-ports-textfile.xml, names the default folders.
std::string TaskDefinition(const std::string &program, const std::string &folder);

}  // namespace tesmaron::tool
