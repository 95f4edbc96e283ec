// SPDX-License-Identifier: MIT
// tesmaron-ports' entry point: the whole tool is tesmaron_ports.cpp's plan.
#include "tesmaron_ports.h"

int main(int argc, char **argv) { return static_cast<int>(tesmaron::tool::TesmaronPorts(argc, argv)); }
