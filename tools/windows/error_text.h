// SPDX-License-Identifier: MIT
// Windows' texts as tesmaron-ports gives them: error codes in words, wide
// strings in UTF-8 and back.
#pragma once

#include <windows.h>

#include <string>

namespace tesmaron::tool {

// "error 2: The system cannot find the file specified".
std::string ErrorText(DWORD error);

// A wide string of the system's in UTF-8; "" for an empty one.
std::string Utf8(const wchar_t *text);

// UTF-8 as the system's wide functions take it (names of files, folders,
// adapters, whatever their script).
std::wstring Wide(const std::string &text);

}  // namespace tesmaron::tool
