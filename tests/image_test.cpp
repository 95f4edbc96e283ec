// SPDX-License-Identifier: MIT
// Reads the built libraries back, as a loader or a linker would see them.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <dlfcn.h>
#include <fstream>
#include <iterator>
#include <map>
#include <regex>
#include <set>
#include <sstream>
#include <string>
#include <vector>

namespace {

std::string RunTool(const std::string &command) {
    std::string out;
    FILE *pipe = popen((command + " 2>&1").c_str(), "r");
    if (pipe == nullptr) return out;
    char buffer[4096];
    for (size_t n; (n = fread(buffer, 1, sizeof(buffer), pipe)) > 0;) out.append(buffer, n);
    const int status = pclose(pipe);
    EXPECT_EQ(status, 0) << command << "\n" << out;
    return out;
}

std::vector<std::string> Lines(const std::string &text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
}

// The first group of the first line that matches, or "" when none does.
std::string Find(const std::string &text, const std::string &pattern) {
    std::smatch m;
    return std::regex_search(text, m, std::regex(pattern)) ? m[1].str() : std::string();
}

struct WindowsImage {
    const char *arch;
    const char *objdump;
    const char *windres;
    const char *format;
    const char *magic;
    unsigned long dll_characteristics;  // exactly these flags
    long max_size;                      // bytes
};

void PrintTo(const WindowsImage &image, std::ostream *out) { *out << image.arch; }

class WindowsImageTest : public ::testing::TestWithParam<WindowsImage> {
protected:
    std::string Dll() const { return std::string(TESMARON_DIST_DIR "/") + GetParam().arch + "/tesmaron.dll"; }
    std::string Headers() const { return RunTool(std::string(GetParam().objdump) + " -p " + Dll()); }
};

TEST_P(WindowsImageTest, MachineAndCharacteristics) {
    const std::string p = Headers();
    EXPECT_NE(p.find(std::string("file format ") + GetParam().format), std::string::npos) << p;
    EXPECT_EQ(Find(p, R"(Magic\s+([0-9a-f]{4}))"), GetParam().magic);
    const unsigned long image = std::stoul(Find(p, R"(\nCharacteristics 0x([0-9a-f]+))"), nullptr, 16);
    EXPECT_TRUE(image & 0x2000) << "not a DLL";
    // DYNAMIC_BASE 0x40, NX_COMPAT 0x100, and on x64 HIGH_ENTROPY_VA 0x20.
    EXPECT_EQ(std::stoul(Find(p, R"(DllCharacteristics\s+([0-9a-f]+))"), nullptr, 16), GetParam().dll_characteristics);
    EXPECT_EQ(Find(p, R"(Time/Date\s+(.*))"), "Thu Jan  1 00:00:00 1970") << "timestamp breaks reproducibility";
}

// Only the library's own work: no runtime start-up, so no TLS directory, and
// the loader enters the image at DllMain, inside the code.
TEST_P(WindowsImageTest, EntersAtTheLibraryAndHasNoTls) {
    const std::string p = Headers();
    EXPECT_TRUE(std::regex_search(p, std::regex(R"(Entry 9 0+ 0+ Thread Storage Directory)"))) << "a TLS directory";
    const unsigned long long base = std::stoull(Find(p, R"(ImageBase\s+([0-9a-f]+))"), nullptr, 16);
    const unsigned long long entry = base + std::stoull(Find(p, R"(AddressOfEntryPoint\s+([0-9a-f]+))"), nullptr, 16);
    const std::string text =
        Find(RunTool(std::string(GetParam().objdump) + " -h " + Dll()), R"(\.text\s+([0-9a-f]+\s+[0-9a-f]+))");
    std::istringstream fields(text);
    unsigned long long size = 0, start = 0;
    fields >> std::hex >> size >> start;
    EXPECT_TRUE(entry >= start && entry < start + size) << std::hex << entry << " outside .text at " << start;
}

// The DLL is loaded into every process that maps ports: it stays small.
TEST_P(WindowsImageTest, FitsItsSizeBudget) {
    std::ifstream in(Dll(), std::ios::binary | std::ios::ate);
    ASSERT_TRUE(in.good()) << Dll();
    EXPECT_LE(static_cast<long>(in.tellg()), GetParam().max_size);
}

TEST_P(WindowsImageTest, ExportTable) {
    const std::string p = Headers();
    EXPECT_EQ(Find(p, R"(\nName\s+[0-9a-f]+ (\S+))"), "tesmaron.dll");
    EXPECT_EQ(Find(p, R"(Ordinal Base\s+(\d+))"), "1");
    EXPECT_EQ(Find(p, R"(Export Address Table\s+([0-9a-f]{8}))"), "00000002");
    EXPECT_EQ(Find(p, R"(\[Name Pointer/Ordinal\] Table\s+([0-9a-f]{8}))"), "00000002");

    // Under "[Ordinal/Name Pointer] Table", each line gives a name and its
    // ordinal less the base.
    std::map<std::string, int> ordinals;
    bool in_names = false;
    for (const std::string &line : Lines(p)) {
        if (line.find("[Ordinal/Name Pointer] Table") != std::string::npos) {
            in_names = true;
            continue;
        }
        std::smatch m;
        if (in_names && std::regex_match(line, m, std::regex(R"(\s+\[\s*(\d+)\] (\S+))"))) {
            ordinals[m[2]] = std::stoi(m[1]) + 1;
        } else if (in_names) {
            break;
        }
    }
    const std::map<std::string, int> expected = {{"LookupByPCIAddress", 1}, {"LookupByPortNumber", 2}};
    EXPECT_EQ(ordinals, expected);
}

// Each imported DLL with the names imported from it, as objdump lists them.
TEST_P(WindowsImageTest, ImportsExactlyTheThreeDeviceCalls) {
    std::map<std::string, std::set<std::string>> imports;
    std::string dll;
    for (const std::string &line : Lines(Headers())) {
        std::smatch m;
        if (std::regex_search(line, m, std::regex(R"(DLL Name: (\S+))"))) {
            dll = m[1];
        } else if (!dll.empty() && std::regex_match(line, m, std::regex(R"(\s+[0-9a-f]+\s+\d+\s+(\S+))"))) {
            imports[dll].insert(m[1]);
        }
    }
    const std::map<std::string, std::set<std::string>> expected = {
        {"KERNEL32.dll", {"CloseHandle", "CreateFileA", "DeviceIoControl"}}};
    EXPECT_EQ(imports, expected);
}

// VS_FIXEDFILEINFO, read straight from the bytes after its signature.
TEST_P(WindowsImageTest, VersionResourceFixedInfo) {
    std::ifstream in(Dll(), std::ios::binary);
    const std::string image((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    const size_t at = image.find("\xBD\x04\xEF\xFE", 0, 4);
    ASSERT_NE(at, std::string::npos) << "no VS_FIXEDFILEINFO";
    ASSERT_EQ(image.find("\xBD\x04\xEF\xFE", at + 4, 4), std::string::npos) << "two version resources";
    ASSERT_LE(at + 52, image.size());
    uint32_t f[13];
    std::memcpy(f, image.data() + at, sizeof(f));
    const uint32_t expected[13] = {
        0xFEEF04BD, 0x00010000,  // signature, structure version
        0x00010000, 0x00000000,  // file version 1.0.0.0
        0x00010000, 0x00000000,  // product version 1.0.0.0
        0x3F,       0x08,        // flags mask, VS_FF_PRIVATEBUILD
        0x00040004,              // VOS_NT_WINDOWS32
        2,          0,           // VFT_DLL, no subtype
        0,          0,           // no file date
    };
    for (int i = 0; i < 13; ++i) EXPECT_EQ(f[i], expected[i]) << "field " << i;
}

TEST_P(WindowsImageTest, VersionResourceStrings) {
    const std::string rc = RunTool(std::string(GetParam().windres) + " -i " + Dll() + " -O rc");
    EXPECT_EQ(Find(rc, R"(Name: (\S+)\.)"), "1") << rc;
    EXPECT_EQ(Find(rc, R"(LANGUAGE (\d+, \d+))"), "9, 1");  // 0x0409
    EXPECT_EQ(Find(rc, R"-(BLOCK "StringFileInfo"\s+BEGIN\s+BLOCK "([^"]+)")-"), "040904B0");
    const std::map<std::string, std::string> strings = {
        {"CompanyName", "tesmaron developers"},
        {"FileDescription", "Embedded network interface controller mapping library"},
        {"FileVersion", std::string("1.0.0.0 (") + GetParam().arch + " release)"},
        {"InternalName", "tesmaron.dll"},
        {"LegalCopyright", "Copyright (C) 2026 tesmaron developers"},
        {"OriginalFilename", "tesmaron.dll"},
        {"ProductName", "tesmaron"},
        {"ProductVersion", "1.0.0.0"},
    };
    std::map<std::string, std::string> found;
    std::regex value(R"-(VALUE "(\w+)", "([^"]*)")-");
    for (auto it = std::sregex_iterator(rc.begin(), rc.end(), value); it != std::sregex_iterator(); ++it) {
        found[(*it)[1]] = (*it)[2];
    }
    EXPECT_EQ(found, strings);
    EXPECT_EQ(Find(rc, R"(VALUE "Translation", (.*))"), "0x409, 1200");  // 1200 = 0x04B0
}

INSTANTIATE_TEST_SUITE_P(Dll, WindowsImageTest,
                         ::testing::Values(WindowsImage{"x86", "i686-w64-mingw32-objdump", "i686-w64-mingw32-windres",
                                                        "pei-i386", "010b", 0x140, 6144},
                                           WindowsImage{"x64", "x86_64-w64-mingw32-objdump",
                                                        "x86_64-w64-mingw32-windres", "pei-x86-64", "020b", 0x160,
                                                        7168}),
                         [](const auto &info) { return std::string(info.param.arch); });

std::set<std::string> DynamicSymbols(const char *which) {
    std::set<std::string> names;
    for (const std::string &line :
         Lines(RunTool(std::string("nm -D ") + which + " " TESMARON_DIST_DIR "/linux/libtesmaron.so"))) {
        std::smatch m;
        if (std::regex_match(line, m, std::regex(R"(.* ([A-Za-z]) ([^@ ]+)(@.*)?)"))) names.insert(m[2]);
    }
    return names;
}

TEST(SharedObjectImage, ExportsExactlyTheTwoLookups) {
    EXPECT_EQ(DynamicSymbols("--defined-only"), (std::set<std::string>{"LookupByPCIAddress", "LookupByPortNumber"}));
}

// Loaded by the dynamic loader, its attach has run (against this machine's
// firmware, which may list no ports) and both lookups answer consistently.
TEST(SharedObjectImage, LoadsAndAnswers) {
    void *library = dlopen(TESMARON_DIST_DIR "/linux/libtesmaron.so", RTLD_NOW | RTLD_LOCAL);
    ASSERT_NE(library, nullptr) << dlerror();
    using PciLookup = uint32_t (*)(uint32_t, uint32_t, uint32_t, uint32_t *);
    using PortLookup = uint32_t (*)(uint32_t *, uint32_t *, uint32_t *, uint32_t);
    const auto by_pci = reinterpret_cast<PciLookup>(dlsym(library, "LookupByPCIAddress"));
    const auto by_port = reinterpret_cast<PortLookup>(dlsym(library, "LookupByPortNumber"));
    ASSERT_NE(by_pci, nullptr);
    ASSERT_NE(by_port, nullptr);
    EXPECT_EQ(dlsym(library, "CreateFileA"), nullptr) << "the platform layer leaks out";
    uint32_t bus = 0, device = 0, function = 0, port = 0xFFFF;
    if (by_port(&bus, &device, &function, 1) == 1) {
        EXPECT_EQ(by_pci(bus, device, function, &port), 1u);
        EXPECT_EQ(port, 1u);
    } else {
        EXPECT_EQ(by_pci(0, 0, 0, &port), 0u);
        EXPECT_EQ(port, 0u);
    }
    EXPECT_EQ(by_port(&bus, &device, &function, 0), 0u);
    dlclose(library);
}

// What the dynamic loader reads of the library: its interface version in its
// name, and no search path of its own.
TEST(SharedObjectImage, NamesItsInterfaceVersionAndSearchesNowhere) {
    const std::string dynamic = RunTool("readelf -d " TESMARON_DIST_DIR "/linux/libtesmaron.so.1");
    EXPECT_EQ(Find(dynamic, R"(Library soname: \[([^\]]*)\])"), "libtesmaron.so.1");
    EXPECT_EQ(Find(dynamic, R"(\((RPATH|RUNPATH)\))"), "");
}

// tesmaron-ports, run as root by the tests and make demo, reads the port
// list with the library's code compiled in: it loads no library of ours,
// and searches no folder of its own, not even the one it is started from.
TEST(BuildTreeImage, ToolSearchesNowhere) {
    const std::string dynamic = RunTool("readelf -d " TESMARON_BUILD_TOOL);
    EXPECT_EQ(Find(dynamic, R"(\((RPATH|RUNPATH)\))"), "");
    EXPECT_EQ(Find(dynamic, R"(Shared library: \[(libtesmaron[^\]]*)\])"), "");
}

// The library runs inside other programs: no heap and no lock of its own.
TEST(SharedObjectImage, ImportsNoAllocationOrLocking) {
    const std::regex forbidden(
        R"((malloc|calloc|realloc|free|aligned_alloc|posix_memalign|memalign|valloc|_Zn[wa].*|_Zd[la].*|pthread_.*|mtx_.*|sem_.*))");
    for (const std::string &name : DynamicSymbols("--undefined-only")) {
        EXPECT_FALSE(std::regex_match(name, forbidden)) << name;
    }
}

}  // namespace
