#include "app/win32/machine_settings_win32.h"

#include <windows.h>

#include "app/settings_names.h"
#include "base/win32/handles_win32.h"

namespace {

// RegOpenKeyW, not RegCreateKeyExW: a missing key means the machine has not
// been set up for updates, and that must stay visible.
CUniqueRegKey OpenMachineKey()
{
    HKEY hKey = nullptr;
    if (RegOpenKeyW(HKEY_LOCAL_MACHINE, MACHINE_KEY, &hKey) != ERROR_SUCCESS)
        return CUniqueRegKey();
    return CUniqueRegKey(hKey);
}

}  // namespace

uint32_t IsAutoUpdateEnabled()
{
    CUniqueRegKey key = OpenMachineKey();
    if (!key)
        return 0;
    DWORD nType = REG_NONE;
    DWORD nValue = 0;
    DWORD nSize = sizeof(nValue);
    if (RegQueryValueExW(key.get(), SETTING_AUTO_UPDATE, nullptr, &nType, reinterpret_cast<BYTE*>(&nValue), &nSize)
        != ERROR_SUCCESS)
        return 0;
    // Only a number turns the check on. A "0" typed as text would read as
    // its character code and switch on what the administrator meant to
    // switch off.
    if (nType != REG_DWORD || nSize != sizeof(nValue))
        return 0;
    return nValue;
}

int SetAutoUpdate(uint32_t nValue)
{
    CUniqueRegKey key = OpenMachineKey();
    if (!key)
        return 0;
    const DWORD nData = nValue;
    return RegSetValueExW(key.get(), SETTING_AUTO_UPDATE, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&nData),
                          sizeof(nData)) == ERROR_SUCCESS
        ? 1
        : 0;
}
