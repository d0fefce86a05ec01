#include "app/win32/update_prompt_win32.h"

#include <windows.h>
#include <shlobj.h>

#include "app/win32/machine_settings_win32.h"
#include "base/thread_guard.h"
#include "base/win32/module_path_win32.h"
#include "framework/afx_folder_picker.h"
#include "services/win32/update_check_win32.h"
#include "ui/win32/download_alarm_win32.h"

namespace {

constexpr int UPDATE_LAUNCHED = 0;
constexpr int UPDATE_STOPPED = -1;

// Non-zero with the chosen file-system folder in strFolder; 0 when the
// picker was cancelled or the choice has no path.
int BrowseForDownloadFolder(const std::wstring& strTitle, std::wstring& strFolder)
{
    BROWSEINFOW info{};
    info.hwndOwner = nullptr;
    info.pidlRoot = nullptr;
    info.lpszTitle = strTitle.c_str();
    info.ulFlags = BIF_RETURNONLYFSDIRS;
    std::wstring strPath;
    if (!AfxBrowseForFolder(info, strPath) || strPath.empty())
        return 0;
    strFolder = strPath;
    return 1;
}

int RunPrompt(const std::wstring& strModulePath, const std::wstring& strFolderPickerTitle,
              const DownloadTiming& timing)
{
    UpdateOffer offer;
    if (FindNewerRelease(strModulePath, offer, timing) != 1)
        return UPDATE_STOPPED;

    // An administrator may have turned the check off since start-up began.
    if (IsAutoUpdateEnabled() == 0)
        return UPDATE_STOPPED;

    CDownLoadAlarm prompt;
    prompt.DoModal();
    if (prompt.m_nAccepted != 1)
        return UPDATE_STOPPED;
    if (prompt.m_nDontShowAgain == 1)
        SetAutoUpdate(0);

    std::wstring strTarget;
    if (BrowseForDownloadFolder(strFolderPickerTitle, strTarget) == 0)
        return UPDATE_STOPPED;
    // The user's language, as the prompt spoke it.
    if (StartUpdater(offer, strTarget, ::GetUserDefaultLangID()) != 1)
        return UPDATE_STOPPED;
    return UPDATE_LAUNCHED;
}

}  // namespace

int CheckForUpdate(const std::wstring& strFolderPickerTitle)
{
    return CheckForUpdateOf(GetModulePath(), strFolderPickerTitle);
}

int CheckForUpdateOf(const std::wstring& strModulePath, const std::wstring& strFolderPickerTitle,
                     const DownloadTiming& timing)
{
    // Start-up goes on whatever happens here.
    return RunGuarded([&] { return RunPrompt(strModulePath, strFolderPickerTitle, timing); }, UPDATE_STOPPED);
}
