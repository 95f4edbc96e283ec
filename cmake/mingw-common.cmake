# SPDX-License-Identifier: MIT
# Shared by the two mingw-w64 toolchain files; TESMARON_MINGW_TRIPLE is set.
# The -win32 compilers use the Windows thread model: no winpthread DLL.
set(CMAKE_C_COMPILER ${TESMARON_MINGW_TRIPLE}-gcc-win32)
set(CMAKE_CXX_COMPILER ${TESMARON_MINGW_TRIPLE}-g++-win32)
set(CMAKE_RC_COMPILER ${TESMARON_MINGW_TRIPLE}-windres)
set(CMAKE_OBJDUMP ${TESMARON_MINGW_TRIPLE}-objdump)
set(CMAKE_FIND_ROOT_PATH /usr/${TESMARON_MINGW_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
# Packages also from the consumer's CMAKE_PREFIX_PATH (an installed tesmaron).
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE BOTH)
