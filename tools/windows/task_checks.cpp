// SPDX-License-Identifier: MIT
// Windows: what a task run as SYSTEM needs of the program it runs, and
// where its failures go.
#include <windows.h>
#include <aclapi.h>

#include <string>
#include <vector>

#include "error_text.h"
#include "tools/machine_ports.h"
#include "write_access.h"

namespace tesmaron::tool {

namespace {

// The administrator asking, when the process is an administrator's: a
// folder they own (made without elevation) is theirs, not another user's.
std::vector<Sid> AdministratorAsking() {
    BYTE administrators[SECURITY_MAX_SID_SIZE];
    DWORD size = sizeof(administrators);
    BOOL member = FALSE;
    if (!CreateWellKnownSid(WinBuiltinAdministratorsSid, nullptr, administrators, &size) ||
        !CheckTokenMembership(nullptr, administrators, &member) || !member) {
        return {};
    }
    HANDLE token = nullptr;
    alignas(TOKEN_USER) BYTE user[sizeof(TOKEN_USER) + SECURITY_MAX_SID_SIZE];
    DWORD got = 0;
    const bool read = OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token) &&
                      GetTokenInformation(token, TokenUser, user, sizeof(user), &got);
    if (token != nullptr) CloseHandle(token);
    if (!read) return {};
    const PSID sid = reinterpret_cast<TOKEN_USER *>(user)->User.Sid;
    const auto *bytes = static_cast<const uint8_t *>(sid);
    return {Sid(bytes, bytes + GetLengthSid(sid))};
}

// A drive's root ("C:\") or a share's ("\\server\share\").
bool IsRoot(const std::wstring &path) {
    if (path.size() == 3 && path[1] == L':') return true;
    if (path.rfind(L"\\\\", 0) != 0) return false;
    const size_t share = path.find(L'\\', 2);
    return share != std::wstring::npos && path.find(L'\\', share + 1) == path.size() - 1;
}

}  // namespace

std::string OthersMayChangeProgram(const std::string &program) {
    const std::vector<Sid> trusted = AdministratorAsking();
    std::wstring path = Wide(program);
    for (PathPart part = PathPart::PROGRAM;;) {
        PSECURITY_DESCRIPTOR descriptor = nullptr;
        const DWORD error =
            GetNamedSecurityInfoW(path.c_str(), SE_FILE_OBJECT, OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION,
                                  nullptr, nullptr, nullptr, nullptr, &descriptor);
        if (error != ERROR_SUCCESS)
            return Utf8(path.c_str()) + ": its permissions cannot be read (" + ErrorText(error) + ")";
        const std::string reason = OthersMayChange(static_cast<const uint8_t *>(descriptor),
                                                   GetSecurityDescriptorLength(descriptor), part, trusted);
        LocalFree(descriptor);
        if (!reason.empty()) return Utf8(path.c_str()) + ": " + reason;
        const size_t slash = path.find_last_of(L"\\/");
        if (IsRoot(path) || slash == std::wstring::npos || slash == 0) return "";
        path.resize(slash);
        if (IsRoot(path + L"\\")) path += L"\\";
        part = part == PathPart::PROGRAM ? PathPart::PROGRAM_FOLDER
               : IsRoot(path)            ? PathPart::ROOT
                                         : PathPart::FOLDER_ABOVE;
    }
}

void ReportToSystemLog(const std::string &reason) {
    // The source the MSI registers for this architecture's tool: the x86
    // and x64 packages may both be installed, and each removes its own.
#ifdef __i386__
    HANDLE source = RegisterEventSourceW(nullptr, L"tesmaron-ports (x86)");
#else
    HANDLE source = RegisterEventSourceW(nullptr, L"tesmaron-ports");
#endif
    if (source == nullptr) return;
    // Event 1 of the program's message table is the text itself ("%1").
    const std::wstring text = Wide("tesmaron-ports: " + reason);
    const wchar_t *strings[] = {text.c_str()};
    ReportEventW(source, EVENTLOG_ERROR_TYPE, 0, 1, nullptr, 1, 0, strings, nullptr);
    DeregisterEventSource(source);
}

}  // namespace tesmaron::tool
