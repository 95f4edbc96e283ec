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

// Why `folder` cannot be the task's, or "" once it is made fit: it becomes
// part of a command line run as SYSTEM, so it must be a whole path (a
// drive's, a share's, or one that starts with an environment variable, as
// %ProgramFiles%), never relative to wherever the task starts, and hold
// nothing that Windows refuses in a path (a quote would end the argument
// there and start another). A trailing backslash, or "\." after it, is
// dropped; so is the quote that a quoted trailing backslash ("C:\metrics\")
// leaves in its place.
std::string TaskFolderReason(std::string &folder);

}  // namespace tesmaron::tool
