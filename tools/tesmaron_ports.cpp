// tesmaron-ports: which network interface is which of the server's embedded
// ports. The plan: read the arguments; take the ports from their source
// (this machine, or a dump file) and, on this machine, name their
// interfaces; ask them the question; put the answer in the form asked for;
// deliver it to standard output or a file; exit with what was found.
#include <cstdio>
#include <string>
#include <vector>

#include "arguments.h"
#include "forms.h"
#include "ports.h"
#include "system.h"

namespace {

// The exit statuses besides 0 (found) and 2 (arguments, output).
constexpr int NOT_FOUND = 1;  // the port list was read; nothing answers
constexpr int NOT_READ = 3;   // no port list could be read

PortList DumpPorts(const std::string &path) {
    const std::string name = path == "-" ? "standard input" : path;
    std::vector<uint8_t> file;
    if (const int error = ReadFileBytes(path, file); error != 0) return Unreadable(name + ": " + FileError(error));
    return PortsFromDump(file, name);
}

}  // namespace

int main(int argc, char **argv) {
    Options options;
    if (const int status = ReadArguments(argc, argv, options); status != GO_ON) return status;

    PortList list;
    if (options.dump.empty()) {
        list = MachinePorts();
        for (Port &port : list.ports) {
            if (!port.disabled) port.interfaces = InterfaceNames(port.address);  // 00:00.0 is not its own
        }
    } else {
        list = DumpPorts(options.dump);
    }
    Question &question = options.question;
    if (question.kind == Question::INTERFACE)
        question.unplaced = InterfaceFunction(question.interface_name, question.address);

    const Answer answer = Ask(list, question);
    const std::string text = Render(options.form, answer.ports, list.read);

    if (options.output.empty()) {
        // A script that reads a cut answer must know: a full disk is not
        // "found". (A pipe closed by its reader ends the tool by SIGPIPE.)
        if (std::fputs(text.c_str(), stdout) < 0 || std::fflush(stdout) != 0) {
            std::perror("tesmaron-ports: standard output");
            return 2;
        }
    } else if (const std::string error = WriteFileAtomically(options.output, text); !error.empty()) {
        std::fprintf(stderr, "tesmaron-ports: --output %s: %s\n", options.output.c_str(), error.c_str());
        return 2;
    }

    if (!list.origin.empty()) std::fprintf(stderr, "tesmaron-ports: %s\n", list.origin.c_str());
    if (!answer.reason.empty()) {
        std::fprintf(stderr, "tesmaron-ports: %s\n", answer.reason.c_str());
        return list.read ? NOT_FOUND : NOT_READ;
    }
    return 0;
}
