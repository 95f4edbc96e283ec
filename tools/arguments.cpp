// The options of tesmaron-ports as its manual page describes them
// (docs/tesmaron-ports.1.scd), read with getopt_long, and its --help.
#include "arguments.h"

#include <getopt.h>

#include <cinttypes>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "machine_ports.h"

namespace tesmaron::tool {

namespace {

const char SYNOPSIS[] =
    "usage: tesmaron-ports [--json] [--port N | --pci ADDRESS | --interface NAME]\n"
    "                      [--from-dump FILE] [--output FILE] [--]\n"
    "       tesmaron-ports --prometheus [--from-dump FILE] [--output FILE] [--]\n"
    "       tesmaron-ports -h | --help | --version\n";

// At most 80 columns, as a terminal shows it.
const char DETAILS[] =
    "\n"
    "Lists the server's embedded network ports in the order the firmware gives\n"
    "them (port 1, 2, ...): the PCI address of each port's controller function,\n"
    "the system's names for its network interfaces ('-' for none), and its MAC\n"
    "address as the firmware lists it:\n"
    "\n"
    "  1  02:00.0  eno1  2c:76:8a:ad:eb:a5\n"
    "\n"
    "A port the firmware marks disabled keeps its number and shows as 'disabled'.\n"
    "\n"
    "  --port N          only port N (from 1)\n"
    "  --pci ADDRESS     only the port at PCI address BB:DD.F or 0000:BB:DD.F (hex)\n"
    "  --interface NAME  only the port that network interface NAME is on\n"
    "  --json            one JSON array on standard output, for scripts:\n"
    "                    [{\"port\": 1, \"pci\": \"02:00.0\", \"interfaces\": [\"eno1\"],\n"
    "                      \"mac\": \"2c:76:8a:ad:eb:a5\", \"disabled\": false}]\n"
    "  --prometheus      metrics in the Prometheus text format for the whole\n"
    "                    machine: tesmaron_read_success, tesmaron_port_info and\n"
    "                    tesmaron_ports\n"
    "  --output FILE     write FILE instead of standard output ('-'): a file is\n"
    "                    replaced atomically, by a new one renamed over it (for\n"
    "                    collectors); a device or a pipe is written into\n"
    "  --from-dump FILE  another machine's ports, from a file written there by\n"
    "                    'dmidecode --dump-bin' or a copy of a Linux machine's\n"
    "                    /sys/firmware/dmi/tables/DMI ('-': standard input); its\n"
    "                    interfaces are not known here ('-')\n"
    "  -h, --help        this text\n"
    "  --version         the version of tesmaron-ports\n"
    "  --                the end of the options\n"
    "\n"
    "Options take their value as '--port 1' or '--port=1'.\n"
    "\n"
    "Exit status: 0 when a port is found; 1 when the firmware's port list was\n"
    "read and no port answers; 2 on bad arguments, or output that cannot be\n"
    "written; 3 when no port list could be read (none there, not allowed, a\n"
    "broken or cut-short table or dump). The reason goes to standard error, and\n"
    "the output is still written.\n"
    "\n";

// BB:DD.F or DDDD:BB:DD.F. The firmware's list names no PCI domain: its ports
// are in domain 0000, and any other domain is refused with the reason.
bool ParsePci(const char *text, PciAddress &address, std::string &error) {
    uint32_t domain = 0;
    if (!ParsePciAddress(text, address, domain)) {
        error = std::string("--pci ") + text + ": not a PCI address BB:DD.F (hex; device 00-1f, function 0-7)";
        return false;
    }
    if (domain != 0) {
        char reason[160];
        std::snprintf(reason, sizeof(reason),
                      "--pci %s: PCI domain %04" PRIx32
                      " cannot be looked up; the firmware's port list holds domain 0000 only",
                      text, domain);
        error = reason;
        return false;
    }
    return true;
}

bool ParsePort(const char *text, uint32_t &port) {
    char *end = nullptr;
    const unsigned long long value = std::strtoull(text, &end, 10);
    if (*text < '0' || *text > '9' || *end != '\0' || value == 0 || value > 0xFFFFFFFFull) return false;
    port = static_cast<uint32_t>(value);
    return true;
}

enum Option { HELP = 'h', VERSION = 256, JSON, PROMETHEUS, PORT, PCI, INTERFACE, FROM_DUMP, OUTPUT };

const option LONG_OPTIONS[] = {
    {"help", no_argument, nullptr, HELP},
    {"version", no_argument, nullptr, VERSION},
    {"json", no_argument, nullptr, JSON},
    {"prometheus", no_argument, nullptr, PROMETHEUS},
    {"port", required_argument, nullptr, PORT},
    {"pci", required_argument, nullptr, PCI},
    {"interface", required_argument, nullptr, INTERFACE},
    {"from-dump", required_argument, nullptr, FROM_DUMP},
    {"output", required_argument, nullptr, OUTPUT},
    {nullptr, 0, nullptr, 0},
};

// What getopt_long refused: a known option with a value missing or one too
// many (glibc and mingw-w64 report the latter differently), or an unknown one.
std::string Refused(int known, const char *argument) {
    for (const option &o : LONG_OPTIONS) {
        if (o.name != nullptr && o.val == known) {
            return std::string("--") + o.name + (o.has_arg == no_argument ? " takes no value" : " needs a value");
        }
    }
    return std::string("unknown argument '") + argument + "'";
}

// The reason and the usage on standard error.
ExitStatus BadArguments(const std::string &reason) {
    std::fprintf(stderr, "tesmaron-ports: %s\n%s", reason.c_str(), SYNOPSIS);
    return ExitStatus::FAILED;
}

}  // namespace

std::optional<ExitStatus> ReadArguments(int argc, char **argv, Options &options) {
    const char *port_text = nullptr, *pci_text = nullptr, *interface_text = nullptr, *dump = nullptr, *output = nullptr;
    bool json = false, metrics = false;
    opterr = 0;  // the tool gives its own reasons
    optind = 0;  // a whole new scan, every time
    // '+': options end at the first operand, or at "--"; ':': a missing value
    // is told apart from an unknown option.
    for (int option; (option = getopt_long(argc, argv, "+:h", LONG_OPTIONS, nullptr)) != -1;) {
        switch (option) {
            case HELP:
                options.answer = std::string(SYNOPSIS) + DETAILS + MACHINE_HELP;
                return ExitStatus::FOUND;
            case VERSION:
                options.answer = std::string("tesmaron-ports ") + TESMARON_RELEASE + "\n";
                return ExitStatus::FOUND;
            case JSON:
                json = true;
                break;
            case PROMETHEUS:
                metrics = true;
                break;
            case PORT:
                port_text = optarg;
                break;
            case PCI:
                pci_text = optarg;
                break;
            case INTERFACE:
                interface_text = optarg;
                break;
            case FROM_DUMP:
                dump = optarg;
                break;
            case OUTPUT:
                output = optarg;
                break;
            default:
                return BadArguments(Refused(optopt, argv[optind - 1]));
        }
    }
    if (optind < argc) return BadArguments("unexpected argument '" + std::string(argv[optind]) + "'");
    if ((port_text != nullptr) + (pci_text != nullptr) + (interface_text != nullptr) > 1) {
        return BadArguments("--port, --pci and --interface each ask a question; give one");
    }
    if (json && metrics) return BadArguments("--json and --prometheus are two forms; give one");
    if (metrics && (port_text != nullptr || pci_text != nullptr || interface_text != nullptr)) {
        return BadArguments("--prometheus describes the whole machine; it takes no --port, --pci or --interface");
    }
    if (interface_text != nullptr && dump != nullptr) {
        return BadArguments("--interface asks of this machine's interfaces; a dump's are not known here");
    }
    // "-" is standard input or output; an empty name is neither, nor a file.
    if (dump != nullptr && *dump == '\0') return BadArguments("--from-dump needs a file name, or '-'");
    if (output != nullptr && *output == '\0') return BadArguments("--output needs a file name, or '-'");
    if (dump != nullptr) options.dump = dump;
    if (output != nullptr && std::strcmp(output, "-") != 0) options.output = output;
    options.form = metrics ? Form::METRICS : json ? Form::JSON : Form::LINES;

    if (port_text != nullptr) {
        options.question.kind = Question::PORT;
        if (!ParsePort(port_text, options.question.port))
            return BadArguments(std::string("--port ") + port_text + ": not a port number from 1");
    } else if (pci_text != nullptr) {
        options.question.kind = Question::PCI;
        std::string error;
        if (!ParsePci(pci_text, options.question.address, error)) return BadArguments(error);
    } else if (interface_text != nullptr) {
        options.question.kind = Question::INTERFACE;
        options.question.interface_name = interface_text;
    }
    return std::nullopt;
}

}  // namespace tesmaron::tool
