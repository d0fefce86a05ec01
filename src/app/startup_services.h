#pragma once
// Start-up services that are not built yet. Each reports its own result,
// which start-up does not act on.

#include <string>

// 0 on success, nonzero when the program could not be registered.
int AddFirewallException(const std::wstring& strEntryName);
