// SPDX-License-Identifier: MIT
// tesmaron-ports' exit statuses, as its manual page lists them
// (docs/tesmaron-ports.1.scd, EXIT STATUS).
#pragma once

namespace tesmaron::tool {

enum class ExitStatus : int {
    FOUND = 0,           // a port answers; and --help, --version
    NOT_FOUND = 1,       // the port list was read, and no port answers
    FAILED = 2,          // bad arguments, or output that cannot be written
    NOT_READ = 3,        // no port list could be read
    NOT_AS_PLANNED = 4,  // --expect: a port is cabled otherwise than planned, or nothing was heard on it
};

}  // namespace tesmaron::tool
