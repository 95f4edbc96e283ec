// SPDX-License-Identifier: MIT
// The attach sequence: the health device opened, the port table loaded from
// it, the device closed again, whatever came of it.
#include "attach.h"

#include "healthdrv/health_driver.h"
#include "portmap/port_table.h"

namespace tesmaron {

void OnLibraryAttach() {
    ResetPortTable();

    HANDLE device = CreateFileA(HEALTH_DEVICE_PATH, HEALTH_DEVICE_ACCESS, HEALTH_DEVICE_SHARE, nullptr,
                                HEALTH_DEVICE_DISPOSITION, 0, nullptr);
    if (device == INVALID_HANDLE_VALUE) return;  // no driver: load with an empty table

    LoadPortTable(device);
    CloseHandle(device);  // the handle is never kept past the attach
}

}  // namespace tesmaron
