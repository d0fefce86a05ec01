#pragma once
// A stand-in for fmifs.dll: FormatEx plays the drive's scripted callbacks on
// the calling thread and, when the script reports success and the callback
// takes it, formats the drive's folder. Like FormatEx it refuses FAT32 on a
// drive larger than 32 GiB (the script is then a lone done:0); image drives
// it never formats, they are written through the raw volumes.

#include <cstdint>
#include <memory>

#include "bay/bay_state.h"
#include "platform/system_formatter.h"

// What FMIFS_OUTPUT's data points to, laid out as the system's TEXTOUTPUT.
struct BayFormatTextOutput {
    uint32_t nLength = 0;
    char* pszText = nullptr;
};

class CBayFormatter : public ISystemFormatter {
public:
    explicit CBayFormatter(CBayState& state) : m_state(state) {}

    std::unique_ptr<IFormatLibrary> LoadFormatLibrary() override;

private:
    CBayState& m_state;
};
