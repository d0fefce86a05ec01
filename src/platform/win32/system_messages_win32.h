#pragma once
// The system's texts for error numbers, from FormatMessageW.

#include "platform/system_messages.h"

class CWin32SystemMessages : public ISystemMessages {
public:
    bool DescribeError(uint32_t nError, std::wstring& strText) override;
};
