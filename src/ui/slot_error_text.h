#pragma once
// What a slot's error balloon says about the code its status shows, in the
// current language. Portable: the balloon window only displays it.

#include <string>

// False, with nothing set, for a status that shows no error.
bool BuildSlotErrorMessage(const std::wstring& strStatus, std::wstring& strTitle, std::wstring& strBody);

// The balloon's title for a code; "Unknown Error!" for a code no driver sets.
std::wstring GetSlotErrorTitle(int nCode);
// The balloon's body: "Error Code : [5]" in English.
std::wstring FormatSlotErrorBody(int nCode);
