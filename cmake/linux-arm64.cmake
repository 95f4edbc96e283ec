# SPDX-License-Identifier: MIT
# Cross build for 64-bit Arm Linux; its programs run under qemu-user.
set(CMAKE_SYSTEM_PROCESSOR aarch64)
set(TESMARON_CROSS_TRIPLE aarch64-linux-gnu)
set(TESMARON_CROSS_QEMU qemu-aarch64-static)
include(${CMAKE_CURRENT_LIST_DIR}/linux-cross.cmake)
