#include "services/win32/update_check_win32.h"

#include <shellapi.h>

#include "base/thread_guard.h"
#include "base/win32/version_string_win32.h"
#include "services/update_names.h"
#include "services/update_rules.h"
#include "services/win32/download_win32.h"
#include "services/win32/ini_file_win32.h"

namespace {

constexpr int UPDATE_OFFERED = 1;
constexpr int UPDATE_NOT_OFFERED = 0;

// A value the check cannot go on without: present, not empty, not too long.
bool ReadRequiredValue(const IniFile& ini, const wchar_t* pszSection, const wchar_t* pszKey, std::wstring& strValue)
{
    return ini.ReadIniString(pszSection, pszKey, strValue, UPDATE_VALUE_CAPACITY) == 1 && !strValue.empty();
}

int RunCheck(const std::wstring& strModulePath, UpdateOffer& offer, const DownloadTiming& timing)
{
    const size_t nSlash = strModulePath.find_last_of(L"\\/");
    if (nSlash == std::wstring::npos)
        return UPDATE_NOT_OFFERED;
    const std::wstring strFolder = strModulePath.substr(0, nSlash);

    IniFile ini;
    std::wstring strDownloadUrl;
    if (!ini.SetPath(strFolder + L"\\" + UPDATE_CONFIG_FILE)
        || !ReadRequiredValue(ini, UPDATE_CONFIG_SECTION, UPDATE_CONFIG_URL_KEY, strDownloadUrl))
        return UPDATE_NOT_OFFERED;

    const std::wstring strReleaseFile = strFolder + L"\\" + RELEASE_FILE;
    if (DownloadToFile(strDownloadUrl, strReleaseFile, RELEASE_FILE_SIZE_LIMIT, timing) != DOWNLOAD_OK)
        return UPDATE_NOT_OFFERED;

    std::wstring strUrlPath;
    std::wstring strOfferedVersion;
    if (!ini.SetPath(strReleaseFile) || !ReadRequiredValue(ini, RELEASE_SECTION, RELEASE_URL_PATH_KEY, strUrlPath)
        || !ReadRequiredValue(ini, RELEASE_SECTION, RELEASE_VERSION_KEY, strOfferedVersion))
        return UPDATE_NOT_OFFERED;
    // Handed to the updater between quotes: a location that could leave them
    // would let the server add arguments of its own, so it counts as missing.
    if (!StaysInsideQuotes(strUrlPath))
        return UPDATE_NOT_OFFERED;

    std::wstring strOwnVersion;
    if (ReadVersionString(strModulePath.c_str(), VERSION_FIELD_FILE_VERSION, strOwnVersion) != ERROR_SUCCESS)
        return UPDATE_NOT_OFFERED;
    if (IsNewerVersion(strOwnVersion.c_str(), strOfferedVersion.c_str()) != 1)
        return UPDATE_NOT_OFFERED;

    offer.m_strFolder = strFolder;
    offer.m_strUrlPath = strUrlPath;
    return UPDATE_OFFERED;
}

}  // namespace

int FindNewerRelease(const std::wstring& strModulePath, UpdateOffer& offer, const DownloadTiming& timing)
{
    // Start-up goes on whatever happens here.
    return RunGuarded([&] { return RunCheck(strModulePath, offer, timing); }, UPDATE_NOT_OFFERED);
}

int StartUpdater(const UpdateOffer& offer, const std::wstring& strTarget, LANGID nLangId)
{
    std::wstring strParameters;
    if (BuildUpdaterParameters(UPDATER_CALLER_TAG, offer.m_strUrlPath, CutDriveRootBackslash(strTarget), nLangId,
                               strParameters)
        != 1)
        return 0;
    // The shell's result is greater than 32 when it started the program.
    return RunProgram(offer.m_strFolder + L"\\" + UPDATER_PROGRAM, strParameters, 1) > 32 ? 1 : 0;
}

INT_PTR RunProgram(const std::wstring& strProgram, const std::wstring& strParameters, int nShow)
{
    return reinterpret_cast<INT_PTR>(::ShellExecuteW(nullptr, L"open", strProgram.c_str(), strParameters.c_str(),
                                                     nullptr, nShow == 1 ? SW_SHOWNORMAL : SW_HIDE));
}
