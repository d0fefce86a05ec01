#pragma once
// One string of a file's version resource, from the first translation the
// resource lists.

#include <cstddef>

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

// Fills pszOut (cchOut characters, always terminated, a longer value cut)
// and returns true; a translation that lacks the string gives an empty one.
// False, with an empty output where there is one and the reason in
// GetLastError, when the file has no readable version resource or the
// system's version.dll cannot be loaded (the system's error), lists no
// translation (4316), the field is unknown or the buffer is missing (87), or
// memory runs out (122).
bool QueryVersionString(const wchar_t* pszPath, int nField, wchar_t* pszOut, size_t cchOut);
