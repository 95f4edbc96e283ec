// SPDX-License-Identifier: MIT
// Files as each system reads and writes them for tesmaron-ports: one source
// per system, linux/files.cpp and windows/files.cpp.
#pragma once

#include <string>

namespace tesmaron::tool {

// Standard input read as bytes, as a binary dump must be: no line ends
// translated.
void ReadStandardInputAsBytes();

// Standard output written as bytes, as a dump must be.
void WriteStandardOutputAsBytes();

// Writes text to --output's path, destroying nothing the tool did not make
// and writing nowhere that another user chose (it runs as root). A regular
// file, or nothing, is replaced atomically, so that a collector never reads
// half of it: a new file in the same folder, created exclusively with mode
// 0644, renamed over it; the new file is removed on every failure, and when
// the tool is ended by SIGINT, SIGTERM, SIGHUP or SIGXFSZ. A link is
// followed only when the tool's own user owns it (on Windows, always);
// another user's link at the path is replaced, its target untouched. A
// device, a FIFO or a socket is written into as a shell's redirection
// would; a directory, a block device and a link that leads nowhere are
// refused. Returns what went wrong, or nothing.
std::string WriteOutput(const std::string &path, const std::string &text);

}  // namespace tesmaron::tool
