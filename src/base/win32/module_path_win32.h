#pragma once
// Where a module of the process lies on disk.

#include <windows.h>

#include <string>

// The full path of hModule, the executable for nullptr; never cut short.
// Empty when it cannot be read.
std::wstring GetModulePath(HMODULE hModule = nullptr);
