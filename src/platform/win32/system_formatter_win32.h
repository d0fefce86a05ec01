#pragma once
// The system's formatter: fmifs.dll, loaded by name for each format, and its
// FormatEx called with a plain C callback that forwards to the core's.

#include "platform/system_formatter.h"

class CWin32SystemFormatter : public ISystemFormatter {
public:
    std::unique_ptr<IFormatLibrary> LoadFormatLibrary() override;
};
