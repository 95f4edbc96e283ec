// SPDX-License-Identifier: MIT
// tesmaron-ports as a whole, from its command line to its exit status:
// main() runs it, and the tests run it in-process.
#pragma once

#include "exit_status.h"

namespace tesmaron::tool {

ExitStatus TesmaronPorts(int argc, char **argv);

}  // namespace tesmaron::tool
