// SPDX-License-Identifier: MIT
// One exchange with the health driver: the request built, the reply area
// cleared and handed to the device-control call.
#include "health_driver.h"

namespace tesmaron {

HealthReply reply_area;

bool SendHealthRequest(HANDLE device_handle, uint8_t structure_type, uint16_t length, uint8_t selector, uint8_t *reply,
                       uint32_t reply_size) {
    // A driver that writes nothing must read as status 0, and nothing of an
    // earlier reply may survive into this one.
    for (uint32_t i = 0; i < reply_size; ++i) reply[i] = 0;

    HealthRequest request{};  // bytes the driver does not read go out as zero
    request.command = HEALTH_COMMAND;
    request.length = length;
    request.structure_type = structure_type;
    request.selector = selector;

    DWORD bytes_returned = 0;  // required by the call, not used
    return DeviceIoControl(device_handle, IOCTL_HEALTH_REQUEST, &request, sizeof(request), reply, reply_size,
                           &bytes_returned, nullptr) != 0;
}

}  // namespace tesmaron
