// SPDX-License-Identifier: MIT
// tesmaron-ports: which network interface is which of the server's embedded
// ports. The plan: read the arguments; take the firmware's lists from their
// source (this machine, or a dump file) and join them with the machine: the
// list it confirms, the interfaces, their link; ask them the question; put
// the answer in the form asked for; deliver it to standard output or a
// file; exit with what was found.
#include "tesmaron_ports.h"

#include <algorithm>
#include <cstdio>
#include <string>

#include "arguments.h"
#include "files.h"
#include "firmware_table.h"
#include "forms.h"
#include "interfaces.h"
#include "join.h"
#include "machine_ports.h"
#include "neighbors.h"
#include "ports.h"
#include "task_definition.h"
#include "text.h"

namespace tesmaron::tool {

namespace {

// The last reason given, for the system's log when nobody watches the run.
std::string said;

// A line on standard error. Reasons quote what others wrote (labels, file
// and interface names): shown, never obeyed by the terminal.
void Say(const std::string &reason) {
    said = reason;
    std::fprintf(stderr, "tesmaron-ports: %s\n", DisplayText(reason).c_str());
}

// Standard output, or the file --output names; false, after the reason on
// standard error, when it cannot be written. Text or bytes alike.
bool Deliver(const std::string &text, const std::string &output, const char *option = "--output",
             FileMode mode = FileMode::PUBLIC) {
    if (output.empty()) {
        // A script that reads a cut answer must know: a full disk is not
        // "found". (A pipe closed by its reader ends the tool by SIGPIPE.)
        if (std::fwrite(text.data(), 1, text.size(), stdout) == text.size() && std::fflush(stdout) == 0) return true;
        std::perror("tesmaron-ports: standard output");
        return false;
    }
    const std::string error = WriteOutput(output, text, mode);
    if (error.empty()) return true;
    Say(std::string(option) + " " + output + ": " + error);
    return false;
}

// --save-dump: the machine's firmware table as a dump, through the same
// rules as --output; readable by its owner only, as the table is root's:
// it holds the machine's serial numbers and UUID.
ExitStatus SaveDump(const std::string &output) {
    std::string dump;
    if (const std::string reason = MachineTableDump(dump); !reason.empty()) {
        Say(reason);
        return ExitStatus::NOT_READ;
    }
    if (output.empty()) WriteStandardOutputAsBytes();
    return Deliver(dump, output, "--save-dump", FileMode::PRIVATE) ? ExitStatus::FOUND : ExitStatus::FAILED;
}

// --scheduled-task: Windows' metrics task for this program where it is, for
// a folder that can be part of its command line. Registering it is the
// administrator's act: the definition is written also for a program that
// others may change, but the warning names what to do, it goes to the
// event log, and the exit status (1) stops a script, or the MSI, from
// registering it.
ExitStatus ScheduledTask(std::string folder, const std::string &output) {
    const std::string program = ThisProgram();
    if (program.empty()) {
        Say("--scheduled-task is for Windows' Task Scheduler; here tesmaron-ports-textfile.timer writes the metrics "
            "(systemctl enable --now)");
        return ExitStatus::FAILED;
    }
    if (const std::string reason = TaskFolderReason(folder); !reason.empty()) {
        Say(reason);
        return ExitStatus::FAILED;
    }
    if (!Deliver(TaskDefinition(program, folder), output)) return ExitStatus::FAILED;
    const std::string others = OthersMayChangeProgram(program);
    if (others.empty()) return ExitStatus::FOUND;
    Say("the task would run " + program + " as SYSTEM, and not only administrators may change it: " + others +
        ". Install it where only administrators may (the MSI's folder, or one made under Program Files or a "
        "drive's root), or take the others' rights away, before registering the task");
    ReportToSystemLog(said);
    return ExitStatus::NOT_FOUND;
}

// The metrics' run as nobody watches it (the timer's service, the task):
// written with the port list read is done, no port included; a port list
// that cannot be read (3) or metrics that cannot be written (2) also go to
// the system's log.
ExitStatus MetricsStatus(ExitStatus status) {
    // The cabling is the metrics' to say (tesmaron_port_cabled_as_planned).
    if (status == ExitStatus::NOT_FOUND || status == ExitStatus::NOT_AS_PLANNED) return ExitStatus::FOUND;
    if (status != ExitStatus::FOUND) ReportToSystemLog(said);
    return status;
}

// --neighbors and --expect over the ports of the answer: what was heard on
// each, and how that compares with the plan (its lines for these ports).
struct Neighbors {
    std::string reason;  // why none could be sought, or the plan read
    std::vector<std::string> notes;
    bool as_planned = true;
};

Neighbors SeekAndCheck(const Options &options, std::vector<Port> &ports) {
    Neighbors result;
    if (!options.neighbors) return result;
    std::vector<PlanLine> plan;
    if (!options.plan.empty()) result.reason = ReadPlan(options.plan, plan);
    if (result.reason.empty()) result.reason = SeekNeighbors(ports, options.wait_seconds);
    if (!result.reason.empty() || plan.empty()) return result;
    if (options.question.kind != Question::ALL) {
        std::erase_if(plan, [&](const PlanLine &line) {
            return std::none_of(ports.begin(), ports.end(), [&](const Port &port) { return port.number == line.port; });
        });
    }
    result.as_planned = CheckPlan(ports, plan, result.notes);
    return result;
}

ExitStatus Ports(Options &options) {
    const bool live = options.dump.empty();
    const PortList list = Joined(live ? MachinePorts() : PortsFromDumpFile(options.dump), live);
    Question &question = options.question;
    if (question.kind == Question::INTERFACE)
        question.unplaced = InterfaceFunction(question.interface_name, question.domain, question.address);

    Answer answer = Ask(list, question);
    const Neighbors neighbors = SeekAndCheck(options, answer.ports);
    if (!neighbors.reason.empty()) {
        Say(neighbors.reason);
        return ExitStatus::FAILED;
    }
    const bool heading = options.output.empty() && !answer.ports.empty() && StandardOutputIsTerminal();
    if (!Deliver(Render(options.form, answer.ports, list.read, heading, options.neighbors), options.output))
        return ExitStatus::FAILED;

    if (!list.origin.empty()) Say(list.origin);
    for (const std::string &note : list.notes) Say(note);
    for (const std::string &note : neighbors.notes) Say(note);
    if (!answer.reason.empty()) {
        Say(answer.reason);
        return list.read ? ExitStatus::NOT_FOUND : ExitStatus::NOT_READ;
    }
    return neighbors.as_planned ? ExitStatus::FOUND : ExitStatus::NOT_AS_PLANNED;
}

}  // namespace

ExitStatus TesmaronPorts(int argc, char **argv) {
    Options options;
    if (const std::optional<ExitStatus> status = ReadArguments(argc, argv, options)) {
        if (options.answer.empty() || Deliver(options.answer, "")) return *status;
        return ExitStatus::FAILED;
    }
    if (options.task == Options::SAVE_DUMP) return SaveDump(options.output);
    if (options.task == Options::SCHEDULED_TASK) return ScheduledTask(options.task_folder, options.output);
    const ExitStatus status = Ports(options);
    return options.form == Form::METRICS ? MetricsStatus(status) : status;
}

}  // namespace tesmaron::tool
