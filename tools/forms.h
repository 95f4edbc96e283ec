// SPDX-License-Identifier: MIT
// The forms tesmaron-ports prints the ports in, each whole in one string.
#pragma once

#include <string>
#include <vector>

#include "ports.h"

namespace tesmaron::tool {

enum class Form { LINES, JSON, METRICS };

// The answer in one form. METRICS describes the whole machine (the question
// is always all ports): whether the port list could be read (`read`), and
// when it was, the enabled ports and their number, 0 included, so that an
// alert can see either. LINES has a heading when asked (a terminal). With
// `neighbors`, each form says what was heard of each port's LLDP neighbour,
// and how it compares with the plan.
std::string Render(Form form, const std::vector<Port> &ports, bool read, bool heading = false, bool neighbors = false);

}  // namespace tesmaron::tool
