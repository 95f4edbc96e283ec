// Linux stands in for the health driver with the kernel's own view of the
// firmware's SMBIOS structures: one folder per structure, "<type>-<instance>",
// holding the structure's bytes in "raw".
#pragma once

#include "platform/kernel32.h"

namespace tesmaron::linux_platform {

inline constexpr char DMI_ENTRIES_ROOT[] = "/sys/firmware/dmi/entries";

// Opens a folder laid out like DMI_ENTRIES_ROOT as the health device;
// INVALID_HANDLE_VALUE when it cannot be opened.
HANDLE OpenSmbiosEntries(const char *root);

}  // namespace tesmaron::linux_platform
