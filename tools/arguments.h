// SPDX-License-Identifier: MIT
// tesmaron-ports' command line: what to ask, of which source, in which form.
#pragma once

#include <optional>
#include <string>

#include "exit_status.h"
#include "forms.h"
#include "ports.h"

namespace tesmaron::tool {

struct Options {
    Question question;
    Form form = Form::LINES;
    std::string dump;    // --from-dump FILE ("-": standard input); empty: this machine
    std::string output;  // --output FILE; empty: standard output
    std::string answer;  // --help, --version: the whole answer, for standard output
};

// Nothing, with the options filled in, when the tool goes on; the exit
// status when the command line is already answered (--help, --version: the
// answer in `answer`) or wrong (after the reason and the usage on standard
// error).
std::optional<ExitStatus> ReadArguments(int argc, char **argv, Options &options);

}  // namespace tesmaron::tool
