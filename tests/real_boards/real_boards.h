// The real boards of real-boards.txt, read for the test programs: each
// board's port structure, and the ports a firmware-table decoder listed.
#pragma once

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

namespace test {

struct Board {
    std::string name;
    std::vector<uint8_t> structure;                  // type, length, handle, entries
    std::vector<std::pair<uint8_t, uint8_t>> ports;  // (bus, devfn) of port 1, 2, ...
};

// Empty when the file cannot be read or a line is not a board.
inline std::vector<Board> ReadBoards(const std::string &path) {
    std::vector<Board> boards;
    std::ifstream in(path);
    for (std::string line; std::getline(in, line);) {
        if (line.empty() || line[0] == '#') continue;
        std::istringstream fields(line);
        Board board;
        std::string hex, port;
        fields >> board.name >> hex;
        for (size_t i = 0; i + 1 < hex.size(); i += 2) {
            board.structure.push_back(static_cast<uint8_t>(std::stoul(hex.substr(i, 2), nullptr, 16)));
        }
        while (fields >> port && port != "-") {
            unsigned number = 0, bus = 0, device = 0, function = 0;
            if (std::sscanf(port.c_str(), "%u=%x:%x.%x", &number, &bus, &device, &function) != 4 ||
                number != board.ports.size() + 1) {
                return {};
            }
            board.ports.emplace_back(static_cast<uint8_t>(bus), static_cast<uint8_t>(device << 3 | function));
        }
        if (board.structure.size() < 4 || hex.size() % 2 != 0) return {};
        boards.push_back(board);
    }
    return boards;
}

// A driver's answer to a request for `asked` bytes of the board's structure:
// status 1, then the structure cut to what was asked.
inline std::vector<uint8_t> BoardReply(const Board &board, size_t asked) {
    std::vector<uint8_t> reply = {1, 0};
    reply.insert(reply.end(), board.structure.begin(),
                 board.structure.begin() + static_cast<long>(std::min(asked, board.structure.size())));
    return reply;
}

}  // namespace test
