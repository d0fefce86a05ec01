#pragma once
// The outcome a drive slot shows: "OK", or "E" and a code; and the message
// behind a code, as the error balloon shows it.

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

// What the error balloon of a slot says: false, with nothing set, for a
// status that shows no error.
bool BuildSlotErrorMessage(const std::wstring& strStatus, std::wstring& strTitle, std::wstring& strBody);

// The balloon's title for a code, in the current language; "Unknown Error!"
// for a code no driver sets.
std::wstring GetSlotErrorTitle(int nCode);
// The balloon's body: "Error Code : [5]" in English.
std::wstring FormatSlotErrorBody(int nCode);
