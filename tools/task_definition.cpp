// SPDX-License-Identifier: MIT
// The scheduled task's definition, from the one template the packages'
// copy is made from too (msi/tesmaron-ports-textfile.xml.in).
#include "task_definition.h"

#include <cctype>

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

std::string TaskFolderReason(std::string &folder) {
    const std::string given = folder;
    if (folder.size() > 1 && folder.find('"') == folder.size() - 1) folder.back() = '\\';
    for (bool trimmed = true; trimmed;) {
        trimmed = folder.size() > 2 && (folder.ends_with("\\.") || folder.ends_with("/."));
        if (trimmed) folder.resize(folder.size() - 2);
        for (; folder.size() > 1 && (folder.back() == '\\' || folder.back() == '/'); trimmed = true) folder.pop_back();
    }
    for (size_t i = 0; i < folder.size(); ++i) {
        const unsigned char c = static_cast<unsigned char>(folder[i]);
        if (c < 0x20 || std::string("\"<>|*?").find(static_cast<char>(c)) != std::string::npos ||
            (c == ':' && i != 1)) {
            return "--scheduled-task " + given + ": a folder's name cannot hold '" + folder[i] +
                   "', which the task's command line would read otherwise";
        }
    }
    const bool drive = folder.size() >= 2 && std::isalpha(static_cast<unsigned char>(folder[0])) && folder[1] == ':' &&
                       (folder.size() == 2 || folder[2] == '\\' || folder[2] == '/');
    const bool share = folder.starts_with("\\\\") || folder.starts_with("//");
    const bool variable = folder.size() > 2 && folder[0] == '%' && folder.find('%', 1) != std::string::npos;
    if (!drive && !share && !variable) {
        return "--scheduled-task " + given +
               ": a relative folder, which the task would take from wherever it starts; give the whole path "
               "(C:\\metrics, \\\\server\\metrics or %ProgramFiles%\\metrics)";
    }
    return "";
}

std::string TaskDefinition(const std::string &program, const std::string &folder) {
    std::string text = TASK_TEMPLATE;
    std::string trimmed = folder;
    while (trimmed.size() > 1 && (trimmed.back() == '\\' || trimmed.back() == '/')) trimmed.pop_back();
    Put(text, "@PROGRAM@", XmlText(program));
    Put(text, "@TEXTFILE_DIR@", XmlText(trimmed));
    return text;
}

}  // namespace tesmaron::tool
