#pragma once
// The running program's own place and version.

#include <string>

// The full path of the running executable; empty when it cannot be read.
std::wstring GetModulePath();

// 1 with the folder of strModulePath, without a trailing backslash, in
// strFolder; 0 when the path has no folder part.
int GetModuleFolder(const std::wstring& strModulePath, std::wstring& strFolder);
// The same for the running executable.
int GetModuleFolder(std::wstring& strFolder);

// 0 with the "FileVersion" string of the file's first translation, or -1.
int GetFileVersionString(const std::wstring& strFilePath, std::wstring& strVersion);
