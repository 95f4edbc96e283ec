// SPDX-License-Identifier: MIT
// The library's entry point on ELF, as DllMain is on Windows. The dynamic
// loader has no attach notification; a constructor of the shared object runs
// the attach sequence before dlopen() returns, so before any lookup can be
// called.
#include "attach.h"

__attribute__((constructor)) static void RunAttachAtLoad() { tesmaron::OnLibraryAttach(); }
