#pragma once
// The system's formatter: fmifs.dll, loaded for each format, and its
// FormatEx called with a plain C callback that forwards to the core's.

#include <string>
#include <utility>

#include "platform/system_formatter.h"

class CWin32SystemFormatter : public ISystemFormatter {
public:
    // The system's own fmifs.dll, from its folder only.
    CWin32SystemFormatter() = default;
    // Exactly the library at that full path: a stand-in of the tests' own,
    // since Wine has no fmifs.dll. The product never names one.
    explicit CWin32SystemFormatter(std::wstring strLibraryPath) : m_strLibraryPath(std::move(strLibraryPath)) {}

    std::unique_ptr<IFormatLibrary> LoadFormatLibrary() override;

private:
    std::wstring m_strLibraryPath;
};
