#pragma once
// The outcome a drive slot shows: "OK", or "E" and a code.

#include <string>

// The code of a status text that shows an error ("E5" gives 5), read the way
// the C library reads a number: leading digits after the 'E', 0 when there
// are none. False when the text does not show an error at all.
bool ParseSlotErrorCode(const std::wstring& strStatus, int& nCode);
