// tesmaron-ports: which network interface is which of the server's embedded
// ports. The plan: read the arguments; take the ports from their source (the
// library, or a dump file); ask them the question; put the answer in the
// form asked for; deliver it to standard output or a file.
#include <cstdio>
#include <string>
#include <vector>

#include "arguments.h"
#include "forms.h"
#include "ports.h"
#include "system.h"

int main(int argc, char **argv) {
    Options options;
    if (const int status = ReadArguments(argc, argv, options); status != GO_ON) return status;

    PortList list;
    if (options.dump.empty()) {
        list = MachinePorts();
    } else {
        std::vector<uint8_t> file;
        if (const int error = ReadFileBytes(options.dump, file); error != 0) {
            return BadArguments("--from-dump " + options.dump + ": " + FileError(error));
        }
        list = PortsFromDump(file, options.dump);
    }

    const Answer answer = Ask(list, options.question);
    const std::string text = Render(options.form, answer.ports);

    if (options.output.empty()) {
        // A script that reads a cut answer must know: a full disk or a
        // closed pipe is not "found".
        if (std::fputs(text.c_str(), stdout) < 0 || std::fflush(stdout) != 0) {
            std::perror("tesmaron-ports: standard output");
            return 2;
        }
    } else if (const std::string error = WriteFileAtomically(options.output, text); !error.empty()) {
        return BadArguments("--output " + options.output + ": " + error);
    }

    if (!list.origin.empty()) std::fprintf(stderr, "tesmaron-ports: %s\n", list.origin.c_str());
    if (!answer.reason.empty()) {
        std::fprintf(stderr, "tesmaron-ports: %s\n", answer.reason.c_str());
        return 1;
    }
    return 0;
}
