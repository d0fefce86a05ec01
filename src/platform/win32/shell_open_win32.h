#pragma once

#include "platform/shell_open.h"

class CWin32ShellOpen : public IShellOpen {
public:
    void OpenInFileBrowser(const std::wstring& strPath) override;
};
