// SPDX-License-Identifier: MIT
// Who besides the administrators may change a program that runs as SYSTEM,
// read from the security descriptors of its file and of the folders above
// it. Portable: every build tests it with descriptors made for the tests
// (Wine keeps no real ones: it gives every file to its one user).
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace tesmaron::tool {

// What the path's part is to the program: what another user must not be
// able to do to it differs. The program itself must not be written,
// deleted or re-permitted; its folder must not take a new file either (a
// DLL there is loaded beside it); a folder above it must not be renamed or
// emptied of the program's folder (delete), nor re-permitted; a drive's
// root cannot be renamed.
enum class PathPart { PROGRAM, PROGRAM_FOLDER, FOLDER_ABOVE, ROOT };

// A security identifier in its binary form (revision, count, authority,
// sub-authorities), as a security descriptor holds it.
using Sid = std::vector<uint8_t>;

// "S-1-5-32-544" as a Sid; empty when the text is none.
Sid SidFrom(const std::string &text);

// Who may change the part, as the self-relative security descriptor (its
// owner and DACL) says: "" when only SYSTEM, the administrators,
// TrustedInstaller and the SIDs in `trusted` (the administrator asking)
// may; else a reason that names one who may, and what it may do. An owner
// may always change the permissions. A descriptor that cannot be read, has
// no DACL (everyone may do anything) or an ACE this does not know counts as
// one that others may change.
std::string OthersMayChange(const uint8_t *descriptor, size_t size, PathPart part, const std::vector<Sid> &trusted);

}  // namespace tesmaron::tool
