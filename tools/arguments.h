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
    // What the tool is asked to do: list ports (the question, in a form),
    // save this machine's firmware table as a dump (to `output`), or write
    // the Task Scheduler's definition of the metrics task (to `output`).
    enum Task { PORTS, SAVE_DUMP, SCHEDULED_TASK } task = PORTS;
    std::string task_folder;  // SCHEDULED_TASK: where the metrics go
    Question question;
    Form form = Form::LINES;
    std::string dump;        // --from-dump FILE ("-": standard input); empty: this machine
    std::string output;      // --output FILE; empty: standard output
    std::string answer;      // --help, --version: the whole answer, for standard output
    bool neighbors = false;  // --neighbors (or --expect): each port's LLDP neighbour
    int wait_seconds = 31;   // --wait: how long to listen for them, at most
    std::string plan;        // --expect FILE: the cabling plan
};

// Nothing, with the options filled in, when the tool goes on; the exit
// status when the command line is already answered (--help, --version: the
// answer in `answer`) or wrong (after the reason and the usage on standard
// error).
std::optional<ExitStatus> ReadArguments(int argc, char **argv, Options &options);

}  // namespace tesmaron::tool
