// tesmaron-ports' command line: what to ask, of which source, in which form.
#pragma once

#include <string>

#include "forms.h"
#include "ports.h"

struct Options {
    Question question;
    Form form = Form::LINES;
    std::string dump;    // --from-dump FILE ("-": standard input); empty: this machine
    std::string output;  // --output FILE; empty: standard output
};

inline constexpr int GO_ON = -1;

// GO_ON with the options filled in; or the exit status when the command line
// is already answered (--help, --version: 0) or wrong (2, after the reason
// and the usage on standard error).
int ReadArguments(int argc, char **argv, Options &options);

// The reason and the usage on standard error; returns 2.
int BadArguments(const std::string &reason);
