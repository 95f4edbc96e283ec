// The forms tesmaron-ports prints the ports in, each whole in one string.
#pragma once

#include <string>
#include <vector>

#include "ports.h"

enum class Form { LINES, JSON, METRICS };

// The answer in one form. METRICS describes the whole machine (the question
// is always all ports), and still gives both metric families when there are
// no ports, so that an alert can see it.
std::string Render(Form form, const std::vector<Port> &ports);
