#pragma once
// Start-up's half of the update check: when the check reports a newer
// release, ask whoever sits there, remember "Do not show this message
// again", let them pick a folder and start the updater.

#include <string>

#include "services/win32/download_win32.h"

// 0 when the updater was started, -1 in every other case; every failure is
// silent. The prompt takes its own texts from the catalogue, in the user's
// language, and its caption from its template.
int CheckForUpdate(const std::wstring& strFolderPickerTitle);

// The same for the program at strModulePath (see FindNewerRelease).
int CheckForUpdateOf(const std::wstring& strModulePath, const std::wstring& strFolderPickerTitle,
                     const DownloadTiming& timing = DownloadTiming{});
