#include "services/win32/update_check_win32.h"

#include <shellapi.h>

#include "app/win32/machine_settings_win32.h"
#include "base/thread_guard.h"
#include "base/win32/module_path_win32.h"
#include "base/win32/version_string_win32.h"
#include "framework/afx_folder_picker.h"
#include "services/update_names.h"
#include "services/update_rules.h"
#include "services/win32/download_win32.h"
#include "services/win32/ini_file_win32.h"
#include "ui/win32/download_alarm_win32.h"

namespace {

constexpr int UPDATE_LAUNCHED = 0;
constexpr int UPDATE_STOPPED = -1;

// A value the check cannot go on without: present, not empty, not too long.
bool ReadRequiredValue(const IniFile& ini, const wchar_t* pszSection, const wchar_t* pszKey, std::wstring& strValue)
{
    return ini.ReadIniString(pszSection, pszKey, strValue, UPDATE_VALUE_CAPACITY) == 1 && !strValue.empty();
}

int RunCheck(const std::wstring& strModulePath, const std::wstring& strFolderPickerTitle, const DownloadTiming& timing)
{
    const LANGID nLangId = ::GetUserDefaultLangID();

    const size_t nSlash = strModulePath.find_last_of(L"\\/");
    if (nSlash == std::wstring::npos)
        return UPDATE_STOPPED;
    const std::wstring strFolder = strModulePath.substr(0, nSlash);

    IniFile ini;
    std::wstring strDownloadUrl;
    if (!ini.SetPath(strFolder + L"\\" + UPDATE_CONFIG_FILE)
        || !ReadRequiredValue(ini, UPDATE_CONFIG_SECTION, UPDATE_CONFIG_URL_KEY, strDownloadUrl))
        return UPDATE_STOPPED;

    const std::wstring strReleaseFile = strFolder + L"\\" + RELEASE_FILE;
    if (DownloadToFile(strDownloadUrl, strReleaseFile, RELEASE_FILE_SIZE_LIMIT, timing) != DOWNLOAD_OK)
        return UPDATE_STOPPED;

    std::wstring strUrlPath;
    std::wstring strOfferedVersion;
    if (!ini.SetPath(strReleaseFile) || !ReadRequiredValue(ini, RELEASE_SECTION, RELEASE_URL_PATH_KEY, strUrlPath)
        || !ReadRequiredValue(ini, RELEASE_SECTION, RELEASE_VERSION_KEY, strOfferedVersion))
        return UPDATE_STOPPED;
    // Handed to the updater between quotes: a location that could leave them
    // would let the server add arguments of its own, so it counts as missing.
    if (!StaysInsideQuotes(strUrlPath))
        return UPDATE_STOPPED;

    std::wstring strOwnVersion;
    if (ReadVersionString(strModulePath.c_str(), VERSION_FIELD_FILE_VERSION, strOwnVersion) != ERROR_SUCCESS)
        return UPDATE_STOPPED;
    if (IsNewerVersion(strOwnVersion.c_str(), strOfferedVersion.c_str()) != 1)
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

    std::wstring strParameters;
    if (BuildUpdaterParameters(UPDATER_CALLER_TAG, strUrlPath, CutDriveRootBackslash(strTarget), nLangId,
                               strParameters)
        != 1)
        return UPDATE_STOPPED;

    RunProgram(strFolder + L"\\" + UPDATER_PROGRAM, strParameters, 1);
    return UPDATE_LAUNCHED;
}

}  // namespace

int CheckForUpdate(const std::wstring& strFolderPickerTitle, const std::wstring& /*strDownloadQuestion*/,
                   const std::wstring& /*strTitle*/)
{
    return CheckForUpdateOf(GetModulePath(), strFolderPickerTitle);
}

int CheckForUpdateOf(const std::wstring& strModulePath, const std::wstring& strFolderPickerTitle,
                     const DownloadTiming& timing)
{
    // Start-up goes on whatever happens here.
    return RunGuarded([&] { return RunCheck(strModulePath, strFolderPickerTitle, timing); }, UPDATE_STOPPED);
}

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

INT_PTR RunProgram(const std::wstring& strProgram, const std::wstring& strParameters, int nShow)
{
    return reinterpret_cast<INT_PTR>(::ShellExecuteW(nullptr, L"open", strProgram.c_str(), strParameters.c_str(),
                                                     nullptr, nShow == 1 ? SW_SHOWNORMAL : SW_HIDE));
}
