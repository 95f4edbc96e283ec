// SPDX-License-Identifier: MIT
// The scheduled task's definition, from the one template the packages'
// copy is made from too (msi/tesmaron-ports-textfile.xml.in).
#include "task_definition.h"

#include "task_template.h"

namespace tesmaron::tool {

namespace {

// Text as an XML element holds it.
std::string XmlText(const std::string &text) {
    std::string out;
    for (const char c : text) {
        switch (c) {
            case '&':
                out += "&amp;";
                break;
            case '<':
                out += "&lt;";
                break;
            case '>':
                out += "&gt;";
                break;
            default:
                out += c;
        }
    }
    return out;
}

void Put(std::string &text, const std::string &placeholder, const std::string &value) {
    for (size_t at = 0; (at = text.find(placeholder, at)) != std::string::npos; at += value.size()) {
        text.replace(at, placeholder.size(), value);
    }
}

}  // namespace

std::string TaskDefinition(const std::string &program, const std::string &folder) {
    std::string text = TASK_TEMPLATE;
    std::string trimmed = folder;
    while (trimmed.size() > 1 && (trimmed.back() == '\\' || trimmed.back() == '/')) trimmed.pop_back();
    Put(text, "@PROGRAM@", XmlText(program));
    Put(text, "@TEXTFILE_DIR@", XmlText(trimmed));
    return text;
}

}  // namespace tesmaron::tool
