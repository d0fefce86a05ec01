#pragma once
// The bay's stand-in for the system's OEM code page: ASCII, which every OEM
// code page holds as it is, and nothing else. What it cannot convert it
// refuses, as the system's conversion reports a character it lacks.

#include "platform/oem_text.h"

class CBayOemText : public IOemText {
public:
    bool ToOemUpperCase(const std::wstring& strText, std::string& strOem) override;
};
