#pragma once
// Drive letters in paths. A drive's root is "E:\" (where its folders start);
// its device is "E:" (what the device calls and discovery name). Every seam
// that takes "a path on the volume" finds the drive with DriveLetterOfPath,
// the Windows side and the simulated bay alike.

#include <string>

// "E:\" for drive index 4.
std::wstring MakeDriveRoot(int nDriveIndex);
// "E:" for drive index 4.
std::wstring MakeDriveDevice(int nDriveIndex);

// Upper-case 'A'..'Z' of a path that starts with a letter and a colon
// ("e:", "E:\", "E:\dir"); L'\0' for anything else (UNC, relative, empty).
wchar_t DriveLetterOfPath(const std::wstring& strPath);

// "E:\" of a path on drive E:, empty when the path names no drive.
std::wstring DriveRootOfPath(const std::wstring& strPath);
