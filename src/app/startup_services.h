#pragma once
// The start-up service that is not built yet. It reports its own result,
// which start-up does not act on.

#include <string>

// 0 when the check ran; nonzero otherwise.
int CheckForUpdate(const std::wstring& strFolderPickerTitle, const std::wstring& strDownloadQuestion,
                   const std::wstring& strTitle);
