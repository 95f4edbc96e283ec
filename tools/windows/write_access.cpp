// SPDX-License-Identifier: MIT
// A self-relative security descriptor read byte by byte: its header, the
// owner SID and the DACL's access-allowed entries; every offset and length
// in it checked against the bytes given.
#include "write_access.h"

#include <cstdio>

namespace tesmaron::tool {

namespace {

// What each part must keep from others (file and folder rights, standard
// rights, generic rights).
constexpr uint32_t WRITE_DATA = 0x2, APPEND_DATA = 0x4, DELETE_CHILD = 0x40, DELETE = 0x10000, WRITE_DAC = 0x40000,
                   WRITE_OWNER = 0x80000, GENERIC_ALL = 0x10000000, GENERIC_WRITE = 0x40000000;
constexpr uint32_t REPERMIT = WRITE_DAC | WRITE_OWNER | GENERIC_ALL;

uint32_t Forbidden(PathPart part) {
    switch (part) {
        case PathPart::PROGRAM:
            return REPERMIT | WRITE_DATA | APPEND_DATA | DELETE | GENERIC_WRITE;
        case PathPart::PROGRAM_FOLDER:
            return REPERMIT | WRITE_DATA | DELETE_CHILD | DELETE | GENERIC_WRITE;
        case PathPart::FOLDER_ABOVE:
            return REPERMIT | DELETE_CHILD | DELETE;
        case PathPart::ROOT:
            break;
    }
    return REPERMIT | DELETE_CHILD;
}

uint32_t Le(const uint8_t *at, int bytes) {
    uint32_t value = 0;
    for (int i = bytes - 1; i >= 0; --i) value = value << 8 | at[i];
    return value;
}

// The SID at offset `at` of `size` bytes, whole, or none.
Sid SidAt(const uint8_t *bytes, size_t size, size_t at) {
    if (at == 0 || at > size || size - at < 8) return {};
    const size_t length = 8 + 4 * size_t{bytes[at + 1]};
    if (bytes[at] != 1 || size - at < length) return {};
    return Sid(bytes + at, bytes + at + length);
}

std::string SidText(const Sid &sid) {
    uint64_t authority = 0;
    for (int i = 2; i < 8; ++i) authority = authority << 8 | sid[i];
    std::string text = "S-1-";  // appended: GCC 12 warns wrongly of "literal" + string
    text.append(std::to_string(authority));
    for (size_t i = 8; i + 4 <= sid.size(); i += 4) text.append("-").append(std::to_string(Le(sid.data() + i, 4)));
    return text;
}

// Who a SID is, for the reason, where it is one of the groups Windows
// gives such rights to by default.
std::string Named(const Sid &sid) {
    const std::string text = SidText(sid);
    const struct {
        const char *sid, *name;
    } names[] = {{"S-1-1-0", "Everyone"},    {"S-1-5-11", "Authenticated Users"}, {"S-1-5-32-545", "Users"},
                 {"S-1-5-4", "Interactive"}, {"S-1-5-32-547", "Power Users"},     {"S-1-3-1", "Creator Group"}};
    for (const auto &name : names) {
        if (text == name.sid) return text + " (" + name.name + ")";
    }
    return text;
}

bool Trusted(const Sid &sid, const std::vector<Sid> &trusted) {
    static const std::vector<Sid> always = {SidFrom("S-1-5-18"), SidFrom("S-1-5-32-544"), SidFrom("S-1-3-0"),
                                            SidFrom("S-1-3-4"),
                                            SidFrom("S-1-5-80-956008885-3418522649-1831038044-1853292631-2271478464")};
    for (const std::vector<Sid> *set : {&always, &trusted}) {
        for (const Sid &one : *set) {
            if (one == sid) return true;
        }
    }
    return false;
}

std::string Rights(uint32_t mask) {
    std::string text;
    const auto add = [&](bool has, const char *what) {
        if (has) text.append(text.empty() ? "" : ", ").append(what);
    };
    add(mask & (WRITE_DATA | APPEND_DATA | GENERIC_WRITE | GENERIC_ALL), "write into it");
    add(mask & (DELETE | GENERIC_ALL), "delete or rename it");
    add(mask & (DELETE_CHILD | GENERIC_ALL), "delete what is in it");
    add(mask & REPERMIT, "change its permissions");
    return text;
}

}  // namespace

Sid SidFrom(const std::string &text) {
    unsigned long long parts[16];
    int count = 0, used = 0;
    if (std::sscanf(text.c_str(), "S-1-%llu%n", &parts[0], &used) != 1) return {};
    for (size_t at = static_cast<size_t>(used); at < text.size() && count < 15; at += static_cast<size_t>(used)) {
        if (std::sscanf(text.c_str() + at, "-%llu%n", &parts[++count], &used) != 1) return {};
    }
    Sid sid = {1, static_cast<uint8_t>(count)};
    for (int i = 5; i >= 0; --i) sid.push_back(static_cast<uint8_t>(parts[0] >> (8 * i)));
    for (int i = 1; i <= count; ++i) {
        for (int b = 0; b < 4; ++b) sid.push_back(static_cast<uint8_t>(parts[i] >> (8 * b)));
    }
    return sid;
}

std::string OthersMayChange(const uint8_t *descriptor, size_t size, PathPart part, const std::vector<Sid> &trusted) {
    constexpr uint16_t DACL_PRESENT = 0x4, SELF_RELATIVE = 0x8000;
    constexpr uint8_t ALLOWED = 0, DENIED = 1, DENIED_OBJECT = 6, ALLOWED_CALLBACK = 9, DENIED_CALLBACK = 10,
                      DENIED_CALLBACK_OBJECT = 12, INHERIT_ONLY = 0x8;
    if (size < 20 || descriptor[0] != 1 || !(Le(descriptor + 2, 2) & SELF_RELATIVE))
        return "its permissions cannot be read";
    const Sid owner = SidAt(descriptor, size, Le(descriptor + 4, 4));
    if (owner.empty()) return "its owner cannot be read";
    if (!Trusted(owner, trusted)) return Named(owner) + " owns it, and so may change its permissions";
    const size_t dacl = Le(descriptor + 16, 4);
    if (!(Le(descriptor + 2, 2) & DACL_PRESENT) || dacl == 0) return "it has no access list: everyone may change it";
    if (dacl > size || size - dacl < 8 || Le(descriptor + dacl + 2, 2) > size - dacl)
        return "its access list cannot be read";
    const size_t end = dacl + Le(descriptor + dacl + 2, 2);
    size_t at = dacl + 8;
    for (uint32_t i = 0, count = Le(descriptor + dacl + 4, 2); i < count; ++i) {
        if (end - at < 8 || Le(descriptor + at + 2, 2) < 8 || Le(descriptor + at + 2, 2) > end - at)
            return "its access list cannot be read";
        const uint8_t type = descriptor[at], flags = descriptor[at + 1];
        const size_t ace_size = Le(descriptor + at + 2, 2);
        const uint32_t mask = Le(descriptor + at + 4, 4) & Forbidden(part);
        const Sid sid = SidAt(descriptor, at + ace_size, at + 8);
        at += ace_size;
        if (flags & INHERIT_ONLY || type == DENIED || type == DENIED_OBJECT || type == DENIED_CALLBACK ||
            type == DENIED_CALLBACK_OBJECT)
            continue;
        if (type != ALLOWED && type != ALLOWED_CALLBACK)
            return "its access list holds an entry of a kind not known here";
        if (sid.empty()) return "its access list cannot be read";
        if (mask != 0 && !Trusted(sid, trusted)) return Named(sid) + " may " + Rights(mask);
    }
    return "";
}

}  // namespace tesmaron::tool
