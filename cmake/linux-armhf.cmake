# SPDX-License-Identifier: MIT
# Cross build for 32-bit Arm Linux (hard float); its programs run under qemu-user.
set(CMAKE_SYSTEM_PROCESSOR armv7l)
set(TESMARON_CROSS_TRIPLE arm-linux-gnueabihf)
set(TESMARON_CROSS_QEMU qemu-arm-static)
include(${CMAKE_CURRENT_LIST_DIR}/linux-cross.cmake)
