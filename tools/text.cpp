// SPDX-License-Identifier: MIT
// UTF-8 read strictly, one code point at a time, and written back as each
// form needs it.
#include "text.h"

#include <cstdint>
#include <cstdio>

namespace tesmaron::tool {

namespace {

constexpr uint32_t REPLACEMENT = 0xFFFD;

// The code point that starts at text[at], `at` moved past it. A byte that
// starts no well-formed sequence (a stray continuation byte, an overlong
// form, a surrogate, past U+10FFFF, a sequence cut short) is U+FFFD, and
// only that byte is taken: what follows it is read afresh.
uint32_t NextCodePoint(const std::string &text, size_t &at) {
    const auto byte = [&](size_t i) { return static_cast<uint8_t>(text[i]); };
    const uint8_t lead = byte(at);
    const size_t length = lead < 0x80 ? 1 : lead < 0xC2 ? 0 : lead < 0xE0 ? 2 : lead < 0xF0 ? 3 : lead < 0xF5 ? 4 : 0;
    ++at;
    if (length == 1) return lead;
    if (length == 0 || text.size() - at < length - 1) return REPLACEMENT;
    uint32_t code = lead & (0x7Fu >> length);
    for (size_t i = 0; i + 1 < length; ++i) {
        if ((byte(at + i) & 0xC0) != 0x80) return REPLACEMENT;
        code = code << 6 | (byte(at + i) & 0x3Fu);
    }
    constexpr uint32_t SHORTEST[] = {0, 0, 0x80, 0x800, 0x10000};
    if (code < SHORTEST[length] || (code >= 0xD800 && code <= 0xDFFF) || code > 0x10FFFF) return REPLACEMENT;
    at += length - 1;
    return code;
}

void AppendUtf8(std::string &out, uint32_t code) {
    if (code < 0x80) {
        out += static_cast<char>(code);
        return;
    }
    const int length = code < 0x800 ? 2 : code < 0x10000 ? 3 : 4;
    constexpr uint8_t LEAD[] = {0, 0, 0xC0, 0xE0, 0xF0};
    out += static_cast<char>(LEAD[length] | code >> (6 * (length - 1)));
    for (int i = length - 2; i >= 0; --i) out += static_cast<char>(0x80 | ((code >> (6 * i)) & 0x3F));
}

bool Control(uint32_t code) { return code < 0x20 || (code >= 0x7F && code < 0xA0); }

std::string Escaped(const char *format, uint32_t code) {
    char text[8];
    std::snprintf(text, sizeof(text), format, static_cast<unsigned>(code));
    return text;
}

}  // namespace

std::string ValidUtf8(const std::string &text) {
    std::string out;
    for (size_t at = 0; at < text.size();) AppendUtf8(out, NextCodePoint(text, at));
    return out;
}

std::string DisplayText(const std::string &text) {
    std::string out;
    for (size_t at = 0; at < text.size();) {
        const uint32_t code = NextCodePoint(text, at);
        if (Control(code)) {
            out += Escaped("\\x%02x", code);
        } else {
            AppendUtf8(out, code);
        }
    }
    return out;
}

std::string JsonString(const std::string &text) {
    std::string out = "\"";
    for (size_t at = 0; at < text.size();) {
        const uint32_t code = NextCodePoint(text, at);
        if (code == '"' || code == '\\') {
            out += '\\';
            out += static_cast<char>(code);
        } else if (Control(code)) {
            out += Escaped("\\u%04x", code);
        } else {
            AppendUtf8(out, code);
        }
    }
    return out + "\"";
}

std::string LabelValue(const std::string &text) {
    std::string out;
    for (size_t at = 0; at < text.size();) {
        const uint32_t code = NextCodePoint(text, at);
        if (code == '\n') {
            out += "\\n";
        } else if (code == '"' || code == '\\') {
            out += '\\';
            out += static_cast<char>(code);
        } else if (Control(code)) {
            out += Escaped("\\\\x%02x", code);
        } else {
            AppendUtf8(out, code);
        }
    }
    return out;
}

}  // namespace tesmaron::tool
