#include "services/win32/firewall_exception_win32.h"

#include "base/thread_guard.h"
#include "base/win32/module_path_win32.h"
#include "services/firewall_exception.h"
#include "services/win32/firewall_com_win32.h"

int AddFirewallException(const std::wstring& strEntryName)
{
    // Nothing may escape into start-up; a failed allocation is a COM string
    // that could not be made.
    return RunGuarded(
        [&] {
            CWin32FirewallCom com;
            return AddFirewallExceptionFor(com, GetModulePath(), strEntryName.c_str());
        },
        FW_E_STRING);
}
