#pragma once
// Labels into the OEM code page the system's own FAT driver reads them in.

#include "platform/oem_text.h"

class CWin32OemText : public IOemText {
public:
    bool ToOemUpperCase(const std::wstring& strText, std::string& strOem) override;
};
