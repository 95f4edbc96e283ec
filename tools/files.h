// Files as each system reads and writes them for tesmaron-ports: one source
// per system, linux/files.cpp and windows/files.cpp.
#pragma once

#include <string>

namespace tesmaron::tool {

// Standard input read as bytes, as a binary dump must be: no line ends
// translated.
void ReadStandardInputAsBytes();

// Writes text to --output's path, destroying nothing the tool did not make
// (it runs as root). A regular file, or nothing, is replaced atomically, so
// that a collector never reads half of it: a new file in the same folder,
// created exclusively with mode 0644 (a link planted there is never
// followed), renamed over path; the new file is removed on every failure,
// and when the tool is ended by SIGINT, SIGTERM or SIGHUP. Anything else
// (a device, a FIFO, /dev/stdout) is written into as a shell's redirection
// would; a directory is refused. Returns what went wrong, or nothing.
std::string WriteOutput(const std::string &path, const std::string &text);

}  // namespace tesmaron::tool
