#pragma once
// A shell that opens nothing, for runs and dialogs whose drive letters no
// one clicks.

#include <string>

#include "platform/shell_open.h"

class CNoShellOpen : public IShellOpen {
public:
    void OpenInFileBrowser(const std::wstring&) override {}
};
