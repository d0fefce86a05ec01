#pragma once
// Drive letters in paths. A drive's root is "E:\" (where its folders start);
// its device is "E:" (what the device calls name); its index is 4 (its bit
// in GetLogicalDrives, and how the volume queries name it). A path on a
// volume becomes its drive's index here, once, for the Windows side and the
// simulated bay alike.

#include <string>

// What DriveIndexOfPath gives for a path that names no drive.
constexpr int NO_DRIVE_INDEX = -1;

// A: to Z:.
inline bool IsDriveIndex(int nDriveIndex)
{
    return nDriveIndex >= 0 && nDriveIndex <= L'Z' - L'A';
}

// "E:\" for drive index 4.
std::wstring MakeDriveRoot(int nDriveIndex);
// "E:" for drive index 4.
std::wstring MakeDriveDevice(int nDriveIndex);

// Upper-case 'A'..'Z' of a path that starts with a letter and a colon
// ("e:", "E:\", "E:\dir"); L'\0' for anything else (UNC, relative, empty).
wchar_t DriveLetterOfPath(const std::wstring& strPath);

// 4 for any path on drive E: ("e:", "E:\", "E:\dir"); NO_DRIVE_INDEX for a
// path that names no drive. A relative path is never read against the
// current directory: that would be another drive's.
int DriveIndexOfPath(const std::wstring& strPath);
