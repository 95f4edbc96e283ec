// SPDX-License-Identifier: MIT
// The library's work at load, which each entry point (DllMain, the ELF load
// hook) calls once.
#pragma once

namespace tesmaron {

// The library's whole work at load: fill the port table from the health
// device, or leave it empty. Never fails; the device is closed again.
void OnLibraryAttach();

}  // namespace tesmaron
