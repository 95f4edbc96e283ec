// SPDX-License-Identifier: MIT
// Text that others wrote (a label in the firmware, an interface's name), made
// fit for each form the tool writes it in. Bytes that are no UTF-8 become
// U+FFFD in every form, so that a consumer that insists on UTF-8 (a
// Prometheus scrape, a JSON parser) takes the whole output; control
// characters (C0, DEL and C1) are never written raw where a terminal or a
// line-based reader would act on them.
#pragma once

#include <string>

namespace tesmaron::tool {

// The text itself, each byte that is no UTF-8 as U+FFFD: what a label is
// once read, so that it is the same text in every form.
std::string ValidUtf8(const std::string &text);

// For the text listing and standard error: valid UTF-8, each control
// character written as \xNN (its code point), so that a label cannot move
// the cursor, retitle the window or start a line of its own.
std::string DisplayText(const std::string &text);

// A JSON string, quotes included: valid UTF-8, the quote and backslash
// escaped, each control character as \u00XX.
std::string JsonString(const std::string &text);

// A label value of the Prometheus text format, without its quotes: valid
// UTF-8, backslash, double quote and line feed escaped as the format says,
// and any other control character written as the text listing writes it.
std::string LabelValue(const std::string &text);

}  // namespace tesmaron::tool
