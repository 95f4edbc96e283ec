// Windows entry point, called by the runtime's start-up code after it has
// initialised itself.
#include "attach.h"
#include "platform/kernel32.h"

extern "C" BOOL WINAPI DllMain(HINSTANCE module, DWORD reason, LPVOID reserved) {
    (void)module;
    (void)reserved;
    if (reason == DLL_PROCESS_ATTACH) tesmaron::OnLibraryAttach();
    // Nothing is released at detach: the table lives as long as the module.
    return TRUE;
}
