// SPDX-License-Identifier: MIT
// Windows: standard input in binary mode, files by their UTF-8 names through
// the wide functions, and a file replaced atomically through a file created
// new and MoveFileEx.
#include "tools/files.h"

#include <windows.h>
#include <fcntl.h>
#include <io.h>

#include <cstdio>
#include <string>

#include "error_text.h"

namespace tesmaron::tool {

// The C runtime reads standard input as text unless told otherwise.
void ReadStandardInputAsBytes() { _setmode(_fileno(stdin), _O_BINARY); }
void WriteStandardOutputAsBytes() { _setmode(_fileno(stdout), _O_BINARY); }

std::FILE *OpenForReading(const std::string &path) { return _wfopen(Wide(path).c_str(), L"rb"); }

bool StandardOutputIsTerminal() { return _isatty(_fileno(stdout)) != 0; }

namespace {

// A device (NUL, CON, COM1) or a pipe is written into, as cmd's redirection
// would; a disk file is replaced. INVALID_HANDLE_VALUE when the path names
// no device or pipe.
HANDLE OpenDevice(const std::string &path) {
    HANDLE file = CreateFileW(Wide(path).c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                              OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE || GetFileType(file) == FILE_TYPE_DISK) {
        if (file != INVALID_HANDLE_VALUE) CloseHandle(file);
        return INVALID_HANDLE_VALUE;
    }
    return file;
}

std::string WriteInto(HANDLE file, const std::string &text) {
    DWORD written = 0;
    const bool done =
        WriteFile(file, text.data(), static_cast<DWORD>(text.size()), &written, nullptr) && written == text.size();
    const DWORD error = done ? 0 : GetLastError();
    CloseHandle(file);
    return done ? "" : ErrorText(error);
}

}  // namespace

// Windows gives a new file its folder's permissions: the mode asks nothing
// of it.
std::string WriteOutput(const std::string &path, const std::string &text, FileMode) {
    if (HANDLE device = OpenDevice(path); device != INVALID_HANDLE_VALUE) return WriteInto(device, text);
    const size_t slash = path.find_last_of("\\/");
    const size_t base = slash == std::string::npos ? 0 : slash + 1;
    // Hidden by its dot, and cut to stay a name the file system takes (255
    // characters with the 16 added).
    const std::string stem = path.substr(0, base) + "." + path.substr(base).substr(0, 255 - 16) + ".";
    // CREATE_NEW never opens what is already there, a link included; the
    // name is tried again only when it is taken.
    std::string temporary;
    HANDLE file = INVALID_HANDLE_VALUE;
    for (DWORD attempt = 0; attempt < 64 && file == INVALID_HANDLE_VALUE; ++attempt) {
        char suffix[32];
        std::snprintf(suffix, sizeof(suffix), "%08lx%02lx.tmp",
                      static_cast<unsigned long>(GetCurrentProcessId() ^ GetTickCount()),
                      static_cast<unsigned long>(attempt));
        temporary = stem + suffix;
        file =
            CreateFileW(Wide(temporary).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (file == INVALID_HANDLE_VALUE && GetLastError() != ERROR_FILE_EXISTS) break;
    }
    if (file == INVALID_HANDLE_VALUE) return ErrorText(GetLastError());
    DWORD written = 0;
    bool done = WriteFile(file, text.data(), static_cast<DWORD>(text.size()), &written, nullptr) &&
                written == text.size() && FlushFileBuffers(file);
    DWORD error = done ? 0 : GetLastError();
    CloseHandle(file);
    if (done &&
        !MoveFileExW(Wide(temporary).c_str(), Wide(path).c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
        done = false;
        error = GetLastError();
    }
    if (done) return "";
    DeleteFileW(Wide(temporary).c_str());
    return ErrorText(error);
}

}  // namespace tesmaron::tool
