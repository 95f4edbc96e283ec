// SPDX-License-Identifier: MIT
// The options of tesmaron-ports as its manual page describes them
// (docs/tesmaron-ports.1.scd), read with getopt_long, and its --help.
#include "arguments.h"

#include <getopt.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "machine_ports.h"
#include "text.h"

namespace tesmaron::tool {

namespace {

const char SYNOPSIS[] =
    "usage: tesmaron-ports [-j] [-p N | --pci ADDRESS | -i NAME] [--from-dump FILE]\n"
    "                      [-o FILE] [--]\n"
    "       tesmaron-ports --prometheus [--from-dump FILE] [-o FILE] [--]\n"
    "       tesmaron-ports [-j | --prometheus] --neighbors [--wait SECONDS]\n"
    "                      [--expect FILE] [-o FILE]\n"
    "       tesmaron-ports --save-dump FILE\n"
    "       tesmaron-ports --scheduled-task FOLDER [-o FILE]\n"
    "       tesmaron-ports -h | --help | -V | --version\n";

// At most 80 columns, as a terminal shows it.
const char DETAILS[] =
    "\n"
    "Lists the server's embedded network ports as the firmware numbers them: the\n"
    "port, the PCI address of its controller function, the system's names for\n"
    "its network interfaces ('-' for none), its MAC address as the firmware\n"
    "lists it, the interface's link state, and the port's label:\n"
    "\n"
    "  1  02:00.0  eno1  2c:76:8a:ad:eb:a5  up  NIC Port 1\n"
    "\n"
    "The ports are the firmware's port list (SMBIOS type 209) where this machine\n"
    "has their PCI functions; else the Ethernet entries of its onboard devices\n"
    "(SMBIOS type 41), numbered as the firmware numbers them (eno<N>). A port\n"
    "the firmware marks disabled keeps its number and shows as 'disabled'.\n"
    "\n"
    "  -p, --port N          only port N\n"
    "      --pci ADDRESS     only the port at PCI address BB:DD.F or DDDD:BB:DD.F\n"
    "  -i, --interface NAME  only the port that network interface NAME is on\n"
    "  -j, --json            one JSON array on standard output, for scripts:\n"
    "                        [{\"port\": 1, \"pci\": \"02:00.0\", \"interfaces\": [\"eno1\"],\n"
    "                          \"mac\": \"2c:76:8a:ad:eb:a5\", \"disabled\": false, ...}]\n"
    "      --prometheus      metrics in the Prometheus text format for the whole\n"
    "                        machine: tesmaron_read_success, tesmaron_port_info,\n"
    "                        tesmaron_port_mac_differs and tesmaron_ports\n"
    "  -o, --output FILE     write FILE instead of standard output ('-'): a file is\n"
    "                        replaced atomically, by a new one renamed over it\n"
    "                        (for collectors); a device or a pipe is written into\n"
    "      --from-dump FILE  another machine's ports, from a file written there by\n"
    "                        'tesmaron-ports --save-dump' or 'dmidecode --dump-bin',\n"
    "                        or a copy of /sys/firmware/dmi/tables/DMI ('-':\n"
    "                        standard input); its interfaces are not known here\n"
    "      --save-dump FILE  this machine's firmware table, as 'dmidecode\n"
    "                        --dump-bin' writes it ('-': standard output), for\n"
    "                        --from-dump elsewhere; FILE as --output writes it\n"
    "      --neighbors       each port's LLDP neighbour (the switch and its port at\n"
    "                        the other end of the cable), where its interface is\n"
    "                        up: from lldpd where it runs, else listened for\n"
    "      --wait SECONDS    listen at most this long (default 31; lldpd: none)\n"
    "      --expect FILE     the cabling plan, a line a port: PORT,SWITCH,SWITCH-PORT\n"
    "                        (SWITCH its system name or chassis ID); exit 4 where\n"
    "                        a port is cabled otherwise, or nothing was heard\n"
    "      --scheduled-task FOLDER\n"
    "                        Windows: the Task Scheduler's definition of a task\n"
    "                        that runs this program as installed, at start-up and\n"
    "                        hourly, writing FOLDER\\tesmaron.prom\n"
    "  -h, --help            this text\n"
    "  -V, --version         the version of tesmaron-ports\n"
    "      --                the end of the options\n"
    "\n"
    "Options take their value as '--port 1', '--port=1' or '-p 1', each once.\n"
    "\n"
    "Exit status: 0 when a port is found (--prometheus: when the list was read);\n"
    "1 when the firmware's port list was read and no port answers; 2 on bad\n"
    "arguments, or output that cannot be written; 3 when no port list could be\n"
    "read (none there, not allowed, a broken or cut-short table or dump); 4 when\n"
    "the cabling is not as --expect plans it. The reason goes to standard error,\n"
    "and the output is still written.\n"
    "\n";

// BB:DD.F (in domain 0000) or DDDD:BB:DD.F.
bool ParsePci(const char *text, uint32_t &domain, PciAddress &address, std::string &error) {
    if (ParsePciAddress(text, address, domain)) return true;
    error =
        std::string("--pci ") + text + ": not a PCI address BB:DD.F or DDDD:BB:DD.F (hex; device 00-1f, function 0-7)";
    return false;
}

// From 0: onboard devices numbered by their instances may start there.
bool ParsePort(const char *text, uint32_t &port) {
    char *end = nullptr;
    const unsigned long long value = std::strtoull(text, &end, 10);
    if (*text < '0' || *text > '9' || *end != '\0' || value > 0xFFFFFFFFull) return false;
    port = static_cast<uint32_t>(value);
    return true;
}

enum Option {
    HELP = 'h',
    VERSION = 'V',
    JSON = 'j',
    PORT = 'p',
    INTERFACE = 'i',
    OUTPUT = 'o',
    PROMETHEUS = 256,
    PCI,
    FROM_DUMP,
    SAVE_DUMP,
    SCHEDULED_TASK,
    NEIGHBORS,
    WAIT,
    EXPECT,
    OPTION_END,
};

// The short forms as GNU tools pair them, none that ip(8) or ethtool(8)
// users read otherwise ('-j' is ip's JSON too).
const char SHORT_OPTIONS[] = "+:hVjp:i:o:";
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
    {"save-dump", required_argument, nullptr, SAVE_DUMP},
    {"scheduled-task", required_argument, nullptr, SCHEDULED_TASK},
    {"neighbors", no_argument, nullptr, NEIGHBORS},
    {"wait", required_argument, nullptr, WAIT},
    {"expect", required_argument, nullptr, EXPECT},
    {nullptr, 0, nullptr, 0},
};

std::string LongName(int known) {
    for (const option &o : LONG_OPTIONS) {
        if (o.name != nullptr && o.val == known) return std::string("--") + o.name;
    }
    return "";
}

// What getopt_long refused: a known option with a value missing or one too
// many (glibc and mingw-w64 report the latter differently), or an unknown one.
std::string Refused(int known, const char *argument) {
    for (const option &o : LONG_OPTIONS) {
        if (o.name != nullptr && o.val == known) {
            return LongName(known) + (o.has_arg == no_argument ? " takes no value" : " needs a value");
        }
    }
    return std::string("unknown argument '") + argument + "'";
}

// The reason and the usage on standard error.
ExitStatus BadArguments(const std::string &reason) {
    std::fprintf(stderr, "tesmaron-ports: %s\n%s", DisplayText(reason).c_str(), SYNOPSIS);
    return ExitStatus::FAILED;
}

bool IsHelpAsWindowsAsksIt(const char *argument) {
    return std::strcmp(argument, "/?") == 0 || std::strcmp(argument, "-?") == 0;
}

}  // namespace

std::optional<ExitStatus> ReadArguments(int argc, char **argv, Options &options) {
    for (int i = 1; i < argc && std::strcmp(argv[i], "--") != 0; ++i) {
        if (IsHelpAsWindowsAsksIt(argv[i])) argv[i] = const_cast<char *>("--help");
    }
    // Each option once: a second value would silently win over the first.
    const char *given[OPTION_END] = {};
    opterr = 0;  // the tool gives its own reasons
    optind = 0;  // a whole new scan, every time
    // '+': options end at the first operand, or at "--"; ':': a missing value
    // is told apart from an unknown option.
    for (int option; (option = getopt_long(argc, argv, SHORT_OPTIONS, LONG_OPTIONS, nullptr)) != -1;) {
        if (option == '?' || option == ':') return BadArguments(Refused(optopt, argv[optind - 1]));
        if (option == HELP) {
            options.answer = std::string(SYNOPSIS) + DETAILS + MACHINE_HELP;
            return ExitStatus::FOUND;
        }
        if (option == VERSION) {
            options.answer = std::string("tesmaron-ports ") + TESMARON_RELEASE + "\n";
            return ExitStatus::FOUND;
        }
        if (given[option] != nullptr) return BadArguments(LongName(option) + " is given twice; give it once");
        given[option] = optarg != nullptr ? optarg : "";
    }
    if (optind < argc) return BadArguments("unexpected argument '" + std::string(argv[optind]) + "'");
    const char *port_text = given[PORT], *pci_text = given[PCI], *interface_text = given[INTERFACE];
    const char *dump = given[FROM_DUMP], *output = given[OUTPUT];
    const bool json = given[JSON] != nullptr, metrics = given[PROMETHEUS] != nullptr;
    const bool question = port_text != nullptr || pci_text != nullptr || interface_text != nullptr;
    const bool neighbors = given[NEIGHBORS] != nullptr || given[EXPECT] != nullptr || given[WAIT] != nullptr;
    if (given[SAVE_DUMP] != nullptr || given[SCHEDULED_TASK] != nullptr) {
        const int save = given[SAVE_DUMP] != nullptr ? SAVE_DUMP : SCHEDULED_TASK;
        const bool others = question || json || metrics || dump != nullptr || neighbors ||
                            (save == SAVE_DUMP ? output != nullptr || given[SCHEDULED_TASK] != nullptr : false);
        if (others) {
            return BadArguments(LongName(save) +
                                (save == SAVE_DUMP ? " takes no other option" : " takes no other option but --output"));
        }
        if (*given[save] == '\0') return BadArguments(LongName(save) + " needs a file name, or '-'");
        options.task = save == SAVE_DUMP ? Options::SAVE_DUMP : Options::SCHEDULED_TASK;
        options.task_folder = given[SCHEDULED_TASK] != nullptr ? given[SCHEDULED_TASK] : "";
        if (save == SAVE_DUMP) output = given[SAVE_DUMP];
    }
    if ((port_text != nullptr) + (pci_text != nullptr) + (interface_text != nullptr) > 1) {
        return BadArguments("--port, --pci and --interface each ask a question; give one");
    }
    if (json && metrics) return BadArguments("--json and --prometheus are two forms; give one");
    if (metrics && question) {
        return BadArguments("--prometheus describes the whole machine; it takes no --port, --pci or --interface");
    }
    if (interface_text != nullptr && dump != nullptr) {
        return BadArguments("--interface asks of this machine's interfaces; a dump's are not known here");
    }
    if (neighbors && dump != nullptr) {
        return BadArguments("--neighbors listens on this machine's interfaces; a dump's are not known here");
    }
    if (given[WAIT] != nullptr) {
        char *end = nullptr;
        const long seconds = std::strtol(given[WAIT], &end, 10);
        if (*given[WAIT] < '0' || *given[WAIT] > '9' || *end != '\0' || seconds > 3600)
            return BadArguments(std::string("--wait ") + given[WAIT] + ": not a number of seconds from 0 to 3600");
        options.wait_seconds = static_cast<int>(seconds);
    }
    if (given[EXPECT] != nullptr && *given[EXPECT] == '\0') return BadArguments("--expect needs a file name");
    options.neighbors = neighbors;
    if (given[EXPECT] != nullptr) options.plan = given[EXPECT];
    // "-" is standard input or output; an empty name is neither, nor a file.
    if (dump != nullptr && *dump == '\0') return BadArguments("--from-dump needs a file name, or '-'");
    if (output != nullptr && *output == '\0') return BadArguments("--output needs a file name, or '-'");
    if (dump != nullptr) options.dump = dump;
    if (output != nullptr && std::strcmp(output, "-") != 0) options.output = output;
    options.form = metrics ? Form::METRICS : json ? Form::JSON : Form::LINES;

    if (port_text != nullptr) {
        options.question.kind = Question::PORT;
        if (!ParsePort(port_text, options.question.port))
            return BadArguments(std::string("--port ") + port_text + ": not a port number");
    } else if (pci_text != nullptr) {
        options.question.kind = Question::PCI;
        std::string error;
        if (!ParsePci(pci_text, options.question.domain, options.question.address, error)) return BadArguments(error);
    } else if (interface_text != nullptr) {
        options.question.kind = Question::INTERFACE;
        options.question.interface_name = interface_text;
    }
    return std::nullopt;
}

}  // namespace tesmaron::tool
