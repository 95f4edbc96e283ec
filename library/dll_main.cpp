// SPDX-License-Identifier: MIT
// The image's entry point: the loader calls it for every notification. No C
// runtime is linked, so nothing runs before it and nothing needs tearing down.
#include "attach.h"
#include "platform/kernel32.h"

extern "C" BOOL WINAPI DllMain(HINSTANCE module, DWORD reason, LPVOID reserved) {
    (void)module;
    (void)reserved;
    if (reason == DLL_PROCESS_ATTACH) tesmaron::OnLibraryAttach();
    // Nothing is released at detach: the table lives as long as the module.
    return TRUE;
}
