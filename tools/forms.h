// The forms tesmaron-ports prints the ports in, each whole in one string.
#pragma once

#include <string>
#include <vector>

#include "ports.h"

enum class Form { LINES, JSON };

std::string Render(Form form, const std::vector<Port> &ports);
