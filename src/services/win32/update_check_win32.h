#pragma once
// At start-up: offer a newer release and hand its download to the updater.

#include <windows.h>

#include <string>

#include "services/win32/download_win32.h"

// 0 when the updater was started, -1 in every other case; every failure is
// silent. Only the picker title is used: the prompt takes its own texts
// from the catalogue, in the user's language, and its caption from its
// template.
int CheckForUpdate(const std::wstring& strFolderPickerTitle, const std::wstring& strDownloadQuestion,
                   const std::wstring& strTitle);

// The same check for the program at strModulePath: the folder of that path
// holds TORQA.ini, the downloaded description and the updater, and its
// version resource is the version offered releases are compared with. The
// description's download is held to timing.
int CheckForUpdateOf(const std::wstring& strModulePath, const std::wstring& strFolderPickerTitle,
                     const DownloadTiming& timing = DownloadTiming{});

// Non-zero with the chosen file-system folder in strFolder; 0 when the
// picker was cancelled or the choice has no path.
int BrowseForDownloadFolder(const std::wstring& strTitle, std::wstring& strFolder);

// ShellExecuteW "open" without owner or working folder; nShow 1 is a normal
// window, anything else a hidden one. The shell's result.
INT_PTR RunProgram(const std::wstring& strProgram, const std::wstring& strParameters, int nShow);
