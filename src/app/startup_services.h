#pragma once
// Services that start-up runs before the main dialog. Each reports its own
// result, which start-up does not act on.

#include <string>

// 1 when the user's language was applied to the thread; 0 leaves English.
int SelectUiLanguage();

// 0 on success, nonzero when the program could not be registered.
int AddFirewallException(const std::wstring& strEntryName);

// Nonzero when the machine asks for the update check at start-up.
int IsAutoUpdateEnabled();

// 0 when the check ran; nonzero otherwise.
int CheckForUpdate(const std::wstring& strFolderPickerTitle, const std::wstring& strDownloadQuestion,
                   const std::wstring& strTitle);
