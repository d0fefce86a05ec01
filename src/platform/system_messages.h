#pragma once
// The system's own text for an error number, in the user's language where
// the system has it: FormatMessageW on Windows, the bay's own texts natively.

#include <cstdint>
#include <string>

class ISystemMessages {
public:
    virtual ~ISystemMessages() = default;
    // One line, without the line break the system ends its texts with;
    // false when the system has no text for the number.
    virtual bool DescribeError(uint32_t nError, std::wstring& strText) = 0;
};
