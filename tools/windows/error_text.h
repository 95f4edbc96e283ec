// SPDX-License-Identifier: MIT
// Windows: a system error code as tesmaron-ports' reasons give it.
#pragma once

#include <windows.h>

#include <string>

namespace tesmaron::tool {

// "error 2: The system cannot find the file specified".
std::string ErrorText(DWORD error);

}  // namespace tesmaron::tool
