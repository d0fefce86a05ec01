#pragma once
// One string of a file's version resource, from the first translation the
// resource lists: the about box's lines, and the version the update check
// compares releases with.

#include <windows.h>

#include <cstddef>
#include <string>

// Field indices, in the order of the version resource's standard names.
enum VersionField {
    VERSION_FIELD_COMMENTS,
    VERSION_FIELD_COMPANY_NAME,
    VERSION_FIELD_FILE_DESCRIPTION,
    VERSION_FIELD_FILE_VERSION,
    VERSION_FIELD_INTERNAL_NAME,
    VERSION_FIELD_LEGAL_COPYRIGHT,
    VERSION_FIELD_LEGAL_TRADEMARKS,
    VERSION_FIELD_ORIGINAL_FILENAME,
    VERSION_FIELD_PRODUCT_NAME,
    VERSION_FIELD_PRODUCT_VERSION,
    VERSION_FIELD_PRIVATE_BUILD,
    VERSION_FIELD_SPECIAL_BUILD,
};

// ERROR_SUCCESS with the string in strValue. Otherwise strValue is empty
// and the result says why: ERROR_RESOURCE_NAME_NOT_FOUND when the
// translation lacks the string; the system's error when the file has no
// readable version resource or the system's version.dll cannot be loaded;
// 4316 when the resource lists no translation; 87 when the field is unknown
// or there is no path; 122 when memory runs out.
DWORD ReadVersionString(const wchar_t* pszPath, int nField, std::wstring& strValue);

// The same into pszOut (cchOut characters, always terminated, a longer
// value cut), for a caller that shows the string whatever happened: true,
// and a translation that lacks the string gives an empty one. False, with
// an empty output where there is one and the reason in GetLastError, for
// every other failure above, and when the buffer is missing (87).
bool QueryVersionString(const wchar_t* pszPath, int nField, wchar_t* pszOut, size_t cchOut);
