#pragma once
// Start-up's firewall registration of the running executable.

#include <string>

// 1 when the executable is listed and enabled; 0 when its own path cannot be
// read; otherwise a negative code of services/firewall_exception.h.
int AddFirewallException(const std::wstring& strEntryName);
