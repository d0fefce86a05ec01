#include "platform/drive_paths.h"

std::wstring MakeDriveRoot(int nDriveIndex)
{
    return MakeDriveDevice(nDriveIndex) + L"\\";
}

std::wstring MakeDriveDevice(int nDriveIndex)
{
    return std::wstring{static_cast<wchar_t>(L'A' + nDriveIndex), L':'};
}

wchar_t DriveLetterOfPath(const std::wstring& strPath)
{
    if (strPath.size() < 2 || strPath[1] != L':')
        return L'\0';
    wchar_t chLetter = strPath[0];
    if (chLetter >= L'a' && chLetter <= L'z')
        chLetter = static_cast<wchar_t>(chLetter - L'a' + L'A');
    return (chLetter >= L'A' && chLetter <= L'Z') ? chLetter : L'\0';
}

int DriveIndexOfPath(const std::wstring& strPath)
{
    const wchar_t chLetter = DriveLetterOfPath(strPath);
    return chLetter == L'\0' ? NO_DRIVE_INDEX : chLetter - L'A';
}
