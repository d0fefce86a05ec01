#pragma once
// Opening a drive in the system's file browser.

#include <string>

class IShellOpen {
public:
    virtual ~IShellOpen() = default;
    // Fire and forget: a failure is not the caller's concern.
    virtual void OpenInFileBrowser(const std::wstring& strPath) = 0;
};
