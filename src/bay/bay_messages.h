#pragma once
// The bay's stand-in for the system's message texts: the English texts
// Windows gives for the error numbers the bay's faults and the engines use,
// so a native run shows what the product would.

#include "platform/system_messages.h"

class CBayMessages : public ISystemMessages {
public:
    bool DescribeError(uint32_t nError, std::wstring& strText) override;
};
