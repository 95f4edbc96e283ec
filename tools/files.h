// Files as each system reads and writes them for tesmaron-ports: one source
// per system, linux/files.cpp and windows/files.cpp.
#pragma once

#include <string>

namespace tesmaron::tool {

// Standard input read as bytes, as a binary dump must be: no line ends
// translated.
void ReadStandardInputAsBytes();

// Writes text into the file at path atomically, so that a collector never
// reads half of it: into a new file in the same folder, created exclusively
// (a link planted there is never followed: the tool runs as root), then
// renamed over path. The new file is removed on every failure. Returns what
// went wrong, or nothing.
std::string WriteFileAtomically(const std::string &path, const std::string &text);

}  // namespace tesmaron::tool
