// SPDX-License-Identifier: MIT
// tesmaron-ports' entry point: the whole tool is tesmaron_ports.cpp's plan.
// On Windows the command line comes as UTF-16 (wmain), whatever the code
// page, and goes on as UTF-8: a folder named in any script reaches the
// task's definition and the wide file functions whole.
#include "tesmaron_ports.h"

#ifdef _WIN32
#include <string>
#include <vector>

#include "windows/error_text.h"

int wmain(int argc, wchar_t **argv) {
    std::vector<std::string> words;
    for (int i = 0; i < argc; ++i) words.push_back(tesmaron::tool::Utf8(argv[i]));
    std::vector<char *> arguments;
    for (std::string &word : words) arguments.push_back(word.data());
    arguments.push_back(nullptr);
    return static_cast<int>(tesmaron::tool::TesmaronPorts(argc, arguments.data()));
}
#else
int main(int argc, char **argv) { return static_cast<int>(tesmaron::tool::TesmaronPorts(argc, argv)); }
#endif
