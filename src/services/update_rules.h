#pragma once
// The decisions of the update check that need no system: reading versions,
// the rules for INI values, and the updater's command line.

#include <cstddef>
#include <cstdint>
#include <string>

constexpr int VERSION_FIELD_COUNT = 16;
// Only these lead fields decide which release is newer.
constexpr int VERSION_COMPARED_FIELDS = 4;

// Values of TORQA.ini and of the release description, without the terminator.
constexpr size_t UPDATE_VALUE_CAPACITY = 259;

// A release description is a few lines. Anything larger is a broken or
// hostile server, and must not fill the program's disk.
constexpr uint64_t RELEASE_FILE_SIZE_LIMIT = 1024 * 1024;

// Fills nFields from a version such as "1, 0, 0, 4" or 1.0.0.4: fields split
// at "." or ",", each read as the C library reads a decimal number (blanks
// skipped, a sign taken, no digits give 0). A missing or empty text leaves
// the array as it was; fields past the sixteenth are ignored.
void ParseVersion(const wchar_t* pszText, int (&nFields)[VERSION_FIELD_COUNT]);

// 1 when the offered version is newer than the own one in its first four
// fields, else 0.
int IsNewerVersion(const wchar_t* pszOwn, const wchar_t* pszOffered);

// The rules of an INI value after GetPrivateProfileStringW has filled its
// work buffer (strBuffer, nCount characters returned, the missing-key
// sentinel as default). 1 with strValue set, or 0 with strValue untouched
// when the key is missing or the value does not fit nCapacity. A value ends
// before its first "%"; the text from there goes to pRest when given.
int ApplyIniValueRules(const std::wstring& strBuffer, size_t nCount, size_t nCapacity, std::wstring& strValue,
                       std::wstring* pRest);

// A drive root "D:\" becomes "D:", so that its backslash cannot escape the
// closing quote on the updater's command line; other paths stay as they are.
std::wstring CutDriveRootBackslash(const std::wstring& strFolder);

// False when a text from the server, put between double quotes on the
// updater's command line, would leave them: a double quote, a control
// character, or a trailing backslash (it would escape the closing quote).
bool StaysInsideQuotes(const std::wstring& strText);

// The updater's parameters: tag "URLPath" "folder" language. 0 (and
// strParameters untouched) when the URLPath would leave its quotes.
int BuildUpdaterParameters(const std::wstring& strCallerTag, const std::wstring& strUrlPath,
                           const std::wstring& strFolder, uint32_t nLangId, std::wstring& strParameters);
