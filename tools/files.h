// SPDX-License-Identifier: MIT
// Files as each system reads and writes them for tesmaron-ports: one source
// per system, linux/files.cpp and windows/files.cpp.
#pragma once

#include <cstdio>
#include <string>

namespace tesmaron::tool {

// Standard input read as bytes, as a binary dump must be: no line ends
// translated.
void ReadStandardInputAsBytes();

// Standard output written as bytes, as a dump must be.
void WriteStandardOutputAsBytes();

// Whether a person reads standard output (a terminal, a console).
bool StandardOutputIsTerminal();

// A file opened to be read as bytes, its name UTF-8 on every system (on
// Windows through the wide functions); null and errno when it cannot be.
std::FILE *OpenForReading(const std::string &path);

// Who may read a file the tool makes: anyone (the metrics, for a collector
// running as another user), or its owner only (a dump of the firmware
// table, which holds the machine's serial numbers).
enum class FileMode { PUBLIC = 0644, PRIVATE = 0600 };

// Writes text to --output's path, destroying nothing the tool did not make
// and writing nowhere that another user chose (it runs as root). A regular
// file, or nothing, is replaced atomically, so that a collector never reads
// half of it: a new file in the same folder, created exclusively with
// `mode`, renamed over it; the new file is removed on every failure, and
// when the tool is ended by SIGINT, SIGTERM, SIGHUP or SIGXFSZ. On Linux
// the path is walked a component at a time, and a link anywhere along it
// is followed only when the tool's own user owns it: another user's link
// at the end of the path is replaced, its target untouched, and one before
// it refused. A device, a FIFO or a socket that the tool's user owns, or
// that the tool holds open (/dev/stdout), is written into as a shell's
// redirection would; another user's is refused, never waited on; so are a
// directory, a block device and a link that leads nowhere. Returns what
// went wrong, or nothing.
std::string WriteOutput(const std::string &path, const std::string &text, FileMode mode = FileMode::PUBLIC);

}  // namespace tesmaron::tool
