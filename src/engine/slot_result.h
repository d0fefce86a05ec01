#pragma once
// The outcome a drive slot shows: "OK", or "E" and a code.

#include <cstdint>
#include <string>

enum SlotResult : int32_t {
    SR_OK = 0,
    SR_NO_SPACE = 1,
    SR_FAT16_FILE_LIMIT = 2,
    SR_FAT32_FILE_LIMIT = 3,
    SR_INVALID_SOURCE = 4,
    SR_CANCELLED = 5,
    SR_FORMAT_FAILED = 6,
    SR_COPY_FAILED = 7,
    // Verify only: what the drive gave back differs from the source, or
    // could not be read back.
    SR_VERIFY_FAILED = 8,
};

// "OK" for 0, "E<code>" for anything else. The same in every language.
std::wstring FormatSlotResult(int nCode);

// The code of a status text that shows an error ("E5" gives 5), read the way
// the C library reads a number: leading digits after the 'E', 0 when there
// are none. False when the text does not show an error at all.
bool ParseSlotErrorCode(const std::wstring& strStatus, int& nCode);
