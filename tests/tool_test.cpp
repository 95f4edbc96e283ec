// SPDX-License-Identifier: MIT
// tesmaron-ports in-process: the command lines that read no machine
// (argument errors, dumps in every form, their reasons and exit statuses),
// and the matching of Windows adapters, over recorded values.
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <tuple>
#include <vector>

#include "real_boards/real_boards.h"
#include "tools/neighbors.h"
#include "tools/task_definition.h"
#include "tools/tesmaron_ports.h"
#include "tools/text.h"
#include "tools/windows/adapters.h"
#include "tools/windows/write_access.h"

namespace fs = std::filesystem;
using namespace tesmaron::tool;
namespace lldp = tesmaron::lldp;

namespace {

void Write(const fs::path &path, const std::vector<uint8_t> &bytes) {
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char *>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

std::string Replaced(std::string text, const std::string &from, const std::string &to) {
    for (size_t at = 0; (at = text.find(from, at)) != std::string::npos; at += to.size())
        text.replace(at, from.size(), to);
    return text;
}

// board-084's dumps, whole and cut, and what they list.
class CommandLine : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        char name[] = "/tmp/tesmaron-tool-XXXXXX";
        ASSERT_NE(mkdtemp(name), nullptr);
        dumps_ = name;
        const test::Board board = test::ReadBoards(TESMARON_REAL_BOARDS).at(83);
        const std::vector<uint8_t> table = test::WholeTable(board);
        const std::vector<uint8_t> dump3 = test::Dump(3, table), dump2 = test::Dump(2, table);
        const std::vector<uint8_t> past_end = test::WholeTable(board, test::Layout::PORTS_PAST_END);
        Write(dumps_ / "past-end.dump2", test::Dump(2, past_end));
        Write(dumps_ / "no-end.dump3", test::Dump(3, test::WholeTable(board, test::Layout::CUT_BEFORE_PORTS)));
        Write(dumps_ / "entry-point.dump3", {dump3.begin(), dump3.begin() + 32});
        Write(dumps_ / "board-084.dump3", dump3);
        Write(dumps_ / "board-084.dump2", dump2);
        Write(dumps_ / "cut.dump3", {dump3.begin(), dump3.begin() + 100});
        Write(dumps_ / "cut.dump2", {dump2.begin(), dump2.begin() + 60});
        Write(dumps_ / "trimmed.dump2", test::Dump(2, table, static_cast<int64_t>(table.size()) + 411));
        Write(dumps_ / "cut-entry.dump3", {dump3.begin(), dump3.begin() + 20});
        Write(dumps_ / "empty", {});
        fs::create_directory(dumps_ / "adir");
        // Another maker's 12-byte structure at type 209; servers with type-41
        // entries: with a port list too, instances from 49, four enabled
        // entries of one instance.
        Write(dumps_ / "other-maker.dump3",
              test::Dump(
                  3, test::WithStrings({0xD1, 0x0C, 0x00, 0xD1, 0x78, 0x03, 0x07, 0x03, 0x04, 0x0F, 0x80, 0x05}, "")));
        // Labels as firmware has been seen to write them: Latin-1, an entry
        // given twice; and one that would drive a terminal.
        const auto onboard = [](uint8_t instance, uint8_t devfn, const std::string &label) {
            return test::WithStrings({41, 11, 0, 0x41, 1, 0x85, instance, 0, 0, 0x04, devfn}, label);
        };
        std::vector<uint8_t> labels;
        for (const auto &entry : {onboard(1, 0, "R\xe9seau 1"), onboard(1, 0, "R\xe9seau 1"), onboard(2, 8, "B"),
                                  onboard(2, 1, "\x1b]0;owned\a\x1b[2JNIC\rPort 2\nfake 7"),
                                  std::vector<uint8_t>{0x7F, 0x04, 0xFF, 0xFE, 0, 0}})
            labels.insert(labels.end(), entry.begin(), entry.end());
        Write(dumps_ / "labels.dump3", test::Dump(3, labels));
        for (const test::Machine &machine : test::ReadMachines(TESMARON_ONBOARD_DEVICES)) {
            if (machine.name == "server-013" || machine.name == "server-101" || machine.name == "server-060")
                Write(dumps_ / (machine.name + ".dump3"), test::Dump(3, test::MachineTable(machine)));
        }
    }
    // Outputs by relative names, from the dumps' folder (the namespace runs
    // write to absolute ones): under qemu-user's interpreter prefix an
    // absolute path is looked up in the target's folder first, "/" too.
    void SetUp() override { fs::current_path(dumps_); }
    static void TearDownTestSuite() { fs::remove_all(dumps_); }

    // The tool run on `args` ("@" for the dumps' folder), split at spaces.
    struct Run {
        int status;
        std::string out, err;
    };
    static Run Tool(const std::string &args) {
        std::vector<std::string> words = {"tesmaron-ports"};
        std::istringstream in(Replaced(args, "@", dumps_.string()));
        for (std::string word; in >> word;) words.push_back(word);
        std::vector<char *> argv;
        for (std::string &word : words) argv.push_back(word.data());
        argv.push_back(nullptr);
        if (args.find("--from-dump -") != std::string::npos) {
            EXPECT_NE(std::freopen((dumps_ / "board-084.dump3").c_str(), "rb", stdin), nullptr);
        }
        testing::internal::CaptureStdout();
        testing::internal::CaptureStderr();
        const int status = static_cast<int>(TesmaronPorts(static_cast<int>(words.size()), argv.data()));
        std::string out = testing::internal::GetCapturedStdout();
        return {status, out, testing::internal::GetCapturedStderr()};
    }
    static inline fs::path dumps_;
};

const std::string MAC[] = {"", "02:00:5e:54:00:01", "02:00:5e:54:01:01", "02:00:5e:54:02:01", "02:00:5e:54:03:01"};
// A port of a dump: nothing of it is known on this machine.
std::string Json(int port, const char *pci, const std::string &mac = "", const char *label = "", int source = 209) {
    return std::string("{\"port\": ") + std::to_string(port) + ", \"pci\": \"" + pci +
           "\", \"interfaces\": [], \"mac\": \"" + (source == 209 && mac.empty() ? MAC[port] : mac) +
           "\", \"disabled\": false, \"address\": \"0000:" + pci + "\", \"label\": \"" + label +
           "\", \"source\": " + std::to_string(source) +
           ", \"present\": null, \"operstate\": null, \"mac_check\": null}";
}

// ARGUMENTS, EXIT ("2o": output that cannot be written, which comes without
// the usage; any other 2 comes with it), STANDARD OUTPUT ("~" + text: starts
// with; with --output, what the file holds), STANDARD ERROR holds.
TEST_F(CommandLine, ReadsNoMachine) {
    const std::string all_json = "[" + Json(1, "04:00.0") + ", " + Json(2, "04:00.1") + ", " + Json(3, "03:00.0") +
                                 ", " + Json(4, "03:00.1") + "]\n";
    const struct {
        const char *args, *status;
        std::string out;
        const char *err;
    } rows[] = {
        {"--interface eno1 --from-dump @/board-084.dump3", "2", "", "a dump's are not known here"},
        {"--from-dump @/board-084.dump3 --pci 0001:04:00.1", "1", "", "no embedded port at 0001:04:00.1"},
        {"--pci 3:0", "2", "", "not a PCI address BB:DD.F"},
        {"--pci 04:20.0", "2", "", "not a PCI address BB:DD.F"},
        {"--port -1", "2", "", "not a port number"},
        {"--port", "2", "", "--port needs a value"},
        {"--json=yes", "2", "", "--json takes no value"},
        {"--port 1 --pci 04:00.0", "2", "", "give one"},
        {"--list", "2", "", "unknown argument '--list'"},
        {"-- --json", "2", "", "unexpected argument '--json'"},
        {"--output=", "2", "", "--output needs a file name, or '-'"},
        {"--prometheus --port 1", "2", "",
         "--prometheus describes the whole machine; it takes no --port, --pci or --interface"},
        {"--prometheus --json", "2", "", "--json and --prometheus are two forms; give one"},
        {"--help", "0", "~usage: tesmaron-ports", ""},
        {"/?", "0", "~usage: tesmaron-ports", ""},
        {"-V", "0", "~tesmaron-ports 1.", ""},
        {"-j -p 2 --from-dump @/board-084.dump3 -o short.json", "0", "[" + Json(2, "04:00.1") + "]\n", ""},
        {"--port=1 --port=2", "2", "", "--port is given twice; give it once"},
        {"-j --json", "2", "", "--json is given twice"},
        {"--save-dump @/x.bin --json", "2", "", "--save-dump takes no other option"},
        {"--scheduled-task C:\\metrics", "2o", "", "--scheduled-task is for Windows' Task Scheduler"},
        {"--from-dump /nonexistent", "3", "", "tesmaron-ports: cannot read /nonexistent: No such file or directory\n"},
        {"--from-dump @/board-084.dump3 --json --output ./ports.json", "0", all_json, ""},
        {"--from-dump @/board-084.dump3 --output adir", "2o", "", "--output adir: Is a directory"},
        {"--from-dump @/board-084.dump3", "0",
         "1  04:00.0  -  " + MAC[1] + "  -\n2  04:00.1  -  " + MAC[2] + "  -\n3  03:00.0  -  " + MAC[3] +
             "  -\n4  03:00.1  -  " + MAC[4] + "  -\n",
         ""},
        {"--from-dump=@/board-084.dump2 --json --port 3", "0", "[" + Json(3, "03:00.0") + "]\n", ""},
        {"--from-dump - --pci 03:00.1", "0", "4  03:00.1  -  " + MAC[4] + "  -\n", ""},
        {"--from-dump @/board-084.dump3 --port 0", "1", "", "there is no port 0 (the firmware lists 4 ports)"},
        // A dump confirms nothing: its port list is believed.
        {"--from-dump @/other-maker.dump3 --json", "0", "[" + Json(1, "03:0f.0", "07:03:04:0f:80:05") + "]\n", ""},
        // Type 41 labels a port list's ports, and serves where there is none.
        {"--from-dump @/server-013.dump3 --json --port 2", "0",
         "[" + Json(2, "03:00.1", "02:00:5e:29:02:00", "NIC Port 2") + "]\n", ""},
        {"--from-dump @/server-101.dump3 --json --pci 04:00.0", "0",
         "[" + Json(49, "04:00.0", "", "LOM 1 Port 1", 41) + "]\n", ""},
        {"--from-dump @/server-060.dump3 --port 0", "0", "0  -  -  -  -  Intel 82576 Ethernet Controller.\n", ""},
        // What others wrote is text: shown, never obeyed; a port once.
        {"--from-dump @/labels.dump3 --port 1", "0", "1  04:00.0  -  -  -  R\uFFFDseau 1\n", ""},
        {"--from-dump @/labels.dump3 --port 2", "1", "",
         "tesmaron-ports: the firmware numbers 2 enabled ports 2: at 04:01.0 (\"B\") and 04:00.1 "
         "(\"\\x1b]0;owned\\x07\\x1b[2JNIC\\x0dPort 2\\x0afake 7\")\n"},
        {"--from-dump @/labels.dump3 --json --pci 04:00.1", "0",
         "[" + Json(2, "04:00.1", "", "\\u001b]0;owned\\u0007\\u001b[2JNIC\\u000dPort 2\\u000afake 7", 41) + "]\n", ""},
        {"--from-dump @/labels.dump3 --prometheus", "0",
         "# HELP tesmaron_read_success Whether the firmware's list of embedded network ports could be read.\n"
         "# TYPE tesmaron_read_success gauge\ntesmaron_read_success 1\n"
         "# HELP tesmaron_port_info Embedded network port: its number, its PCI address (empty when it has none), an "
         "interface on it, its label and the SMBIOS structure type that numbers it (209 or 41).\n"
         "# TYPE tesmaron_port_info gauge\n"
         "tesmaron_port_info{port=\"1\",pci=\"0000:04:00.0\",label=\"R\uFFFDseau 1\",source=\"41\",device=\"\"} 1\n"
         "tesmaron_port_info{port=\"2\",pci=\"0000:04:01.0\",label=\"B\",source=\"41\",device=\"\"} 1\n"
         "tesmaron_port_info{port=\"2\",pci=\"0000:04:00.1\",label=\"\\\\x1b]0;owned\\\\x07\\\\x1b[2JNIC\\\\x0dPort "
         "2\\nfake 7\",source=\"41\",device=\"\"} 1\n"
         "# HELP tesmaron_ports Embedded network ports the firmware lists as enabled.\n"
         "# TYPE tesmaron_ports gauge\ntesmaron_ports 3\n",
         ""},
        {"--from-dump @/cut.dump3", "3", "",
         "@/cut.dump3 is cut short: the structure at offset 85 (type 1) has length 27, which runs past the table's "
         "end at offset 100"},
        {"--from-dump @/cut.dump2", "3", "", "@/cut.dump2 is broken: the strings of the structure at offset 32"},
        {"--from-dump @/trimmed.dump2 --port 2", "0", "2  04:00.1  -  " + MAC[2] + "  -\n", ""},
        {"--from-dump @/cut-entry.dump3", "3", "",
         "@/cut-entry.dump3 is cut short: it ends inside its _SM3_ entry point (20 bytes)"},
        {"--from-dump @/past-end.dump2 --port 4", "0", "4  03:00.1  -  " + MAC[4] + "  -\n", ""},
        {"--from-dump @/no-end.dump3", "3", "",
         "@/no-end.dump3 is cut short: the table's end at offset 201 comes before the end-of-table structure"},
        {"--from-dump @/entry-point.dump3 --prometheus", "3",
         "# HELP tesmaron_read_success Whether the firmware's list of embedded network ports could be read.\n"
         "# TYPE tesmaron_read_success gauge\ntesmaron_read_success 0\n",
         "@/entry-point.dump3 is cut short: the table's end at offset 32 comes before the end-of-table structure "
         "(type 127)"},
        {"--from-dump @/empty --json", "3", "[]\n", "@/empty is empty"},
        {"--from-dump /etc/passwd", "3", "", "/etc/passwd is no SMBIOS table or dump"},
        {"--from-dump @/missing", "3", "", "@/missing: No such file or directory"},
        {"--from-dump @", "3", "", "@: Is a directory"},
    };
    for (const auto &row : rows) {
        const Run run = Tool(row.args);
        const std::string status = row.status;
        EXPECT_EQ(std::to_string(run.status), status.substr(0, 1)) << row.args << "\n" << run.err;
        std::string out = run.out;
        const std::string args = Replaced(row.args, "-o ", "--output ");
        const size_t output = args.find("--output ");
        if (output != std::string::npos && run.status != 2) {
            EXPECT_EQ(out, "") << row.args;
            std::ifstream file(dumps_ / args.substr(output + 9));
            out.assign(std::istreambuf_iterator<char>(file), {});
        }
        if (row.out.rfind("~", 0) == 0) {
            EXPECT_EQ(out.rfind(row.out.substr(1), 0), 0u) << row.args << "\n" << out;
        } else {
            EXPECT_EQ(out, row.out) << row.args;
        }
        EXPECT_NE(run.err.find(Replaced(row.err, "@", dumps_.string())), std::string::npos) << row.args << "\n"
                                                                                            << run.err;
        if (*row.err == '\0') {
            EXPECT_EQ(run.err, "") << row.args;
        } else if (std::string(row.err).rfind("tesmaron-ports: ", 0) == 0) {
            EXPECT_EQ(run.err, Replaced(row.err, "@", dumps_.string())) << row.args;  // the whole reason
        }
        // A bad argument gives its reason and the usage; anything else none.
        EXPECT_EQ(run.err.find("\nusage: tesmaron-ports") != std::string::npos, status == "2") << row.args;
    }
}

}  // namespace

// Windows' metrics task for the program where it is, the folder as given:
// XML's own characters escaped, a trailing backslash dropped.
TEST(ScheduledTask, RunsTheProgramWhereItIsInstalled) {
    const std::string task = TaskDefinition("D:\\tools & more\\bin\\tesmaron-ports.exe", "C:\\metrics\\");
    EXPECT_NE(task.find("<Command>\"D:\\tools &amp; more\\bin\\tesmaron-ports.exe\"</Command>"), std::string::npos)
        << task;
    EXPECT_NE(task.find("<Arguments>--prometheus --output \"C:\\metrics\\tesmaron.prom\"</Arguments>"),
              std::string::npos)
        << task;
    EXPECT_EQ(task.find('@'), std::string::npos) << task;
    // The folder becomes part of a SYSTEM command line: whole, or refused.
    const struct {
        std::string given, folder, reason;
    } folders[] = {
        {"C:\\metrics\\", "C:\\metrics", ""},
        {"C:\\metrics\\\\.", "C:\\metrics", ""},  // the MSI's "[TEXTFILE_DIR]\."
        {"C:\\metrics\"", "C:\\metrics", ""},     // "C:\metrics\" as Windows parses it
        {"C:\\Donn\u00e9es", "C:\\Donn\u00e9es", ""},
        {"%ProgramFiles%\\windows_exporter\\textfile_inputs", "%ProgramFiles%\\windows_exporter\\textfile_inputs", ""},
        {"\\\\server\\metrics", "\\\\server\\metrics", ""},
        {"C:\\a\" --from-dump \"\\\\evil\\share\\x", "", "a folder's name cannot hold '\"'"},
        {"metrics", "", "a relative folder"},
        {"C:metrics", "", "a relative folder"},
    };
    for (const auto &f : folders) {
        std::string folder = f.given;
        const std::string reason = TaskFolderReason(folder);
        EXPECT_NE(reason.find(f.reason), std::string::npos) << f.given << ": " << reason;
        if (f.reason.empty()) {
            EXPECT_EQ(folder + reason, f.folder) << f.given;
        }
    }
}

// tesmaron-ports on Windows: adapters as SetupAPI reported them on a board
// with four ports on buses 4 and 3, beside adapters on other buses.
TEST(AdapterMatching, NamesTheAdaptersAtAPciFunction) {
    const std::vector<AdapterRecord> adapters = {
        {"PCI", 4, 0x00000000, "Ethernet"},
        {"PCI", 4, 0x00000001, "Ethernet 2"},
        {"PCI", 3, 0x00000000, "SLOT 3 Port 1"},
        {"PCI", 3, 0x00000000, "vEthernet (team)"},
        {"PCI", 3, 0x00000001, ""},            // no connection: not a name
        {"USB", 0, 0x00000001, "Ethernet 7"},  // reads like 00:00.1, is not PCI
        {"ROOT", 0, 0x00000000, "Loopback"},
        {"PCI", 2, 0x00050002, "Ethernet 9", "Intel(R) I350 Gigabit Network Connection #2"},  // device 5, function 2
    };
    const struct {
        PciAddress address;
        std::vector<std::string> names;
    } cases[] = {
        {{4, 0, 0}, {"Ethernet"}},
        {{4, 0, 1}, {"Ethernet 2"}},
        {{3, 0, 0}, {"SLOT 3 Port 1", "vEthernet (team)"}},
        {{3, 0, 1}, {}},
        {{0, 0, 1}, {}},
        {{0, 0, 0}, {}},
        {{2, 5, 2}, {"Ethernet 9"}},
        {{2, 2, 5}, {}},
        {{4, 1, 0}, {}},
    };
    for (const auto &c : cases) {
        EXPECT_EQ(AdapterNamesAt(adapters, c.address), c.names)
            << c.address.bus << ":" << c.address.device << "." << c.address.function;
    }
    // And back, from a connection name or a description to its function,
    // for --interface, compared as the system compares them (here: case).
    const SameName same = [](const std::string &a, const std::string &b) {
        return std::equal(a.begin(), a.end(), b.begin(), b.end(),
                          [](char x, char y) { return std::tolower(x) == std::tolower(y); });
    };
    for (const char *name : {"Ethernet 9", "ETHERNET 9", "intel(r) i350 gigabit network connection #2"}) {
        PciAddress at{};
        EXPECT_EQ(AdapterFunction(adapters, name, at, same), "") << name;
        EXPECT_EQ(at.bus * 0x10000 + at.device * 0x100 + at.function, 0x20502u) << name;
    }
    PciAddress at{};
    EXPECT_EQ(AdapterFunction(adapters, "Ethernet 7", at, same), "interface Ethernet 7 is on no PCI function (USB)");
    EXPECT_EQ(AdapterFunction(adapters, "Ethernet 3", at, same), "there is no network interface Ethernet 3");
}

// Who else may change a program the task runs as SYSTEM, from its file's
// and its folders' security descriptors, as Windows' defaults make them.
TEST(ProgramPlace, OnlyAdministratorsMayChangeIt) {
    using Ace = std::tuple<uint8_t, uint8_t, uint32_t, std::string>;  // type, flags, rights, SID
    const auto descriptor = [](const std::string &owner, const std::vector<Ace> &aces, bool dacl = true) {
        const Sid owner_sid = SidFrom(owner);
        std::vector<uint8_t> acl = {2, 0, 0, 0, static_cast<uint8_t>(aces.size()), 0, 0, 0};
        for (const auto &[type, flags, rights, sid] : aces) {
            const Sid bytes = SidFrom(sid);
            acl.insert(acl.end(), {type, flags, static_cast<uint8_t>(8 + bytes.size()), 0});
            for (int b = 0; b < 4; ++b) acl.push_back(static_cast<uint8_t>(rights >> (8 * b)));
            acl.insert(acl.end(), bytes.begin(), bytes.end());
        }
        acl[2] = static_cast<uint8_t>(acl.size());
        const uint8_t at = static_cast<uint8_t>(20 + owner_sid.size());
        std::vector<uint8_t> out = {1, 0, static_cast<uint8_t>(dacl ? 4 : 0),  0x80, 20, 0, 0, 0, 0, 0, 0, 0, 0, 0,
                                    0, 0, static_cast<uint8_t>(dacl ? at : 0), 0,    0,  0};
        out.insert(out.end(), owner_sid.begin(), owner_sid.end());
        if (dacl) out.insert(out.end(), acl.begin(), acl.end());
        return out;
    };
    constexpr uint32_t FULL = 0x1F01FF, MODIFY = 0x1301BF, READ = 0x1200A9;
    const std::string installer = "S-1-5-80-956008885-3418522649-1831038044-1853292631-2271478464";
    const std::vector<Ace> program_files = {{0, 0, FULL, "S-1-5-18"},
                                            {0, 0, FULL, "S-1-5-32-544"},
                                            {0, 0, READ, "S-1-5-32-545"},
                                            {0, 0x0B, 0x10000000, "S-1-3-0"}};
    // A folder an administrator made under another drive's root: it takes
    // the root's Modify for Authenticated Users.
    const std::vector<Ace> under_a_root = {{0, 0x10, FULL, "S-1-5-18"},
                                           {0, 0x10, FULL, "S-1-5-32-544"},
                                           {0, 0x10, MODIFY, "S-1-5-11"},
                                           {0, 0x10, READ, "S-1-5-32-545"}};
    const std::vector<Ace> root = {{0, 0, FULL, "S-1-5-18"},
                                   {0, 0, FULL, "S-1-5-32-544"},
                                   {0, 0, 0x4, "S-1-5-11"},
                                   {0, 0x0B, MODIFY, "S-1-5-11"},
                                   {0, 0, READ, "S-1-5-32-545"}};
    const struct {
        const char *what;
        std::vector<uint8_t> descriptor;
        PathPart part;
        std::string reason;
    } cases[] = {
        {"Program Files", descriptor(installer, program_files), PathPart::FOLDER_ABOVE, ""},
        {"the program there", descriptor("S-1-5-32-544", program_files), PathPart::PROGRAM, ""},
        {"D:\\tools", descriptor("S-1-5-32-544", under_a_root), PathPart::FOLDER_ABOVE,
         "S-1-5-11 (Authenticated Users) may delete or rename it"},
        {"D:\\tools\\bin", descriptor("S-1-5-32-544", under_a_root), PathPart::PROGRAM_FOLDER,
         "S-1-5-11 (Authenticated Users) may write into it, delete or rename it"},
        {"D:\\", descriptor("S-1-5-18", root), PathPart::ROOT, ""},
        {"a user's own", descriptor("S-1-5-21-1-2-3-1001", program_files), PathPart::PROGRAM,
         "S-1-5-21-1-2-3-1001 owns it, and so may change its permissions"},
        {"no access list", descriptor("S-1-5-32-544", {}, false), PathPart::PROGRAM, "it has no access list"},
        {"Everyone may write", descriptor("S-1-5-32-544", {{0, 0, 0x2, "S-1-1-0"}}), PathPart::PROGRAM_FOLDER,
         "S-1-1-0 (Everyone) may write into it"},
    };
    for (const auto &c : cases) {
        const std::string reason = OthersMayChange(c.descriptor.data(), c.descriptor.size(), c.part, {});
        EXPECT_EQ(reason.substr(0, c.reason.size()), c.reason) << c.what << ": " << reason;
        EXPECT_EQ(reason.empty(), c.reason.empty()) << c.what;
    }
    // The administrator asking owns what they made without elevation.
    const std::vector<uint8_t> own = descriptor("S-1-5-21-1-2-3-500", program_files);
    EXPECT_EQ(OthersMayChange(own.data(), own.size(), PathPart::PROGRAM, {SidFrom("S-1-5-21-1-2-3-500")}), "");
}

// LLDP frames as switches send them (two real ones, names made neutral),
// and as they break: each either names its neighbour, its IDs as lldpd's
// client writes them, or none.
TEST(LldpFrames, NameANeighbourOrNone) {
    const auto bytes = [](const std::string &hex) {
        std::vector<uint8_t> out;
        for (size_t i = 0; i + 1 < hex.size(); i += 2)
            out.push_back(static_cast<uint8_t>(std::stoul(hex.substr(i, 2), nullptr, 16)));
        return out;
    };
    const std::string header = "0180c200000e00192fa7b28d88cc", mandatory = "020704aabbccddeeff04040573773106020078";
    const struct {
        const char *what;
        std::string frame;
        lldp::FrameFault fault;
        std::string heard;  // chassis|system|port ID|port description|VLAN|management
    } frames[] = {
        {"switch-1",
         "0180c200000e00192fa7b28d88cc02070400192fa7b28d040d0155706c696e6b20746f205331060200780a12636f72652d322e6578616"
         "d"
         "706c652e6e65740c3753776974636820736f6674776172652c2076657273696f6e2031322e3228323529534545322c2072656c6561736"
         "5"
         "20736f66747761726508134769676162697445746865726e6574302f31330e0400140004fe060080c2010001fe0900120f0103c036001"
         "0"
         "0000",
         lldp::FrameFault::NONE, "00:19:2f:a7:b2:8d|core-2.example.net|Uplink to S1|GigabitEthernet0/13|1|"},
        {"switch-2",
         "0180c200000e0018ba98688f88cc0207040018ba98688f0407074661302f3133060200780a12636f72652d312e6578616d706c652e6e6"
         "574"
         "0c3753776974636820736f6674776172652c2076657273696f6e2031322e3228323529534545322c2072656c6561736520736f6674776"
         "172"
         "6508104661737445746865726e6574302f31330e0400140004fe060080c2010001fe0900120f0103003600100000",
         lldp::FrameFault::NONE, "00:18:ba:98:68:8f|core-1.example.net|Fa0/13|FastEthernet0/13|1|"},
        {"no mandatory TLVs", "0180c200000e00132157ca7f88ccfe090080c2070300000064", lldp::FrameFault::MANDATORY_MISSING,
         ""},
        {"802.1Q-tagged, a management address (IPv4, IPv6), a name that drives a terminal",
         "0180c200000e00192fa7b28d8100000a88cc" + mandatory + "0a081b5b324a0d0a7879100c0501c00002010200000000" +
             "0010181102000000000000000000000000000000010200000000000000",
         lldp::FrameFault::NONE, "aa:bb:cc:dd:ee:ff|\\x1b[2J\\x0d\\x0axy|sw1|||192.0.2.1"},
        {"a chassis ID subtype not known, the port's a network address",
         header + "02070953776974636804060401c000020a060200780000", lldp::FrameFault::NONE, "Switch||192.0.2.10|||"},
        {"a TLV's length past the frame's end", header + mandatory + "0a10736c6f7439", lldp::FrameFault::TLV_CUT, ""},
        {"cut inside a TLV's header", header + mandatory + "0a", lldp::FrameFault::TLV_CUT, ""},
        {"port ID first", header + "04040573773102070400112233445506020078", lldp::FrameFault::MANDATORY_MISSING, ""},
        {"a chassis ID of one byte", header + "0201040404057377310602007800", lldp::FrameFault::MANDATORY_LENGTH, ""},
        {"TTL 0: leaving", header + "020704aabbccddeeff040405737731060200000000", lldp::FrameFault::SHUTDOWN, ""},
        {"another ethertype", "0180c200000e00192fa7b28d0800" + mandatory, lldp::FrameFault::NOT_LLDP, ""},
    };
    for (const auto &f : frames) {
        const std::vector<uint8_t> frame = bytes(f.frame);
        lldp::Neighbor neighbor;
        EXPECT_EQ(lldp::DecodeFrame(frame.data(), frame.size(), neighbor), f.fault) << f.what;
        if (f.fault != lldp::FrameFault::NONE) continue;
        Port port;
        port.neighbor = NeighborOf(neighbor);
        const LinkNeighbor &n = *port.neighbor;
        const std::string heard = DisplayText(n.chassis_id) + "|" + DisplayText(n.system_name) + "|" +
                                  DisplayText(n.port_id) + "|" + n.port_description + "|" +
                                  (n.vlan ? std::to_string(*n.vlan) : "") + "|" + n.management;
        EXPECT_EQ(heard, f.heard) << f.what;
    }
    // IPv6 as RFC 5952 writes it.
    lldp::Neighbor neighbor{};
    neighbor.has_management = true;
    neighbor.management_subtype = 2;
    neighbor.management_address.size = 16;
    const uint8_t address[16] = {0xfe, 0x80, 0, 0, 0, 0, 0, 0, 0x2c, 0x9d, 0x9b, 0xff, 0xfe, 0x74, 0, 0};
    std::memcpy(neighbor.management_address.bytes, address, 16);
    EXPECT_EQ(NeighborOf(neighbor).management, "fe80::2c9d:9bff:fe74:0");
}

// The cabling plan: as an inventory exports it or one writes it by hand,
// and checked against what was heard.
TEST(CablingPlan, ReadAndChecked) {
    char name[] = "/tmp/tesmaron-plan-XXXXXX";
    ASSERT_NE(mkdtemp(name), nullptr);
    const fs::path plan = fs::path(name) / "plan.csv";
    std::ofstream(plan) << "# rack 4\nport,switch,switch port\n1, switch-a , Ethernet1/12\n2,00:19:2F:A7:B2:8D,gi0/13\n"
                           "3,switch-a,Ethernet1/14\n\n9,switch-b,1\n";
    std::vector<PlanLine> lines;
    ASSERT_EQ(ReadPlan(plan, lines), "");
    ASSERT_EQ(lines.size(), 4u);
    std::vector<Port> ports(3);
    for (uint32_t i = 0; i < 3; ++i) ports[i].number = i + 1;
    ports[0].neighbor = LinkNeighbor{"aa:bb:cc:dd:ee:ff", "Switch-A", "sw1", "ethernet1/12", "", {}};
    ports[1].neighbor = LinkNeighbor{"00:19:2f:a7:b2:8d", "core-2", "Gi0/13", "", "", {}};
    std::vector<std::string> notes;
    EXPECT_FALSE(CheckPlan(ports, lines, notes));
    EXPECT_EQ(ports[0].planned->status, PlannedLink::AS_PLANNED);
    EXPECT_EQ(ports[1].planned->status, PlannedLink::AS_PLANNED);
    EXPECT_EQ(ports[2].planned->status, PlannedLink::UNHEARD);
    EXPECT_EQ(notes, std::vector<std::string>{"the plan names port 9, which is no enabled port here"});
    std::ofstream(plan) << "1,switch-a,Ethernet1/12\n2;switch-a;Ethernet1/13\n";
    EXPECT_EQ(ReadPlan(plan, lines), "--expect " + plan.string() +
                                         ", line 2: not PORT,SWITCH,SWITCH-PORT (a port number, the switch's system "
                                         "name or chassis ID, its port)");
    fs::remove_all(name);
}
