#pragma once
// The application object as start-up leaves it (the product's registry key
// and title), but reading and writing a profile of the test's own, removed
// before and after, so that no test sees or leaves the user's settings.

#include <windows.h>

#include <string>

#include "app/app_title.h"
#include "app/settings_names.h"
#include "framework/afx_app.h"

class CTestProfile {
public:
    CTestProfile(CWinApp& app, const std::wstring& strPrefix)
        : m_strProfile(strPrefix + std::to_wstring(GetCurrentProcessId()))
    {
        Remove();
        // The profile is named after the application at the moment the key
        // is set; the title comes afterwards, as at start-up.
        app.SetAppName(m_strProfile);
        app.SetRegistryKey(APP_REGISTRY_KEY);
        app.SetAppName(APP_TITLE);
        AfxSetApp(&app);
    }
    ~CTestProfile()
    {
        AfxSetApp(nullptr);
        Remove();
    }
    CTestProfile(const CTestProfile&) = delete;
    CTestProfile& operator=(const CTestProfile&) = delete;

private:
    void Remove() const
    {
        RegDeleteTreeW(HKEY_CURRENT_USER,
                       (std::wstring(L"Software\\") + APP_REGISTRY_KEY + L"\\" + m_strProfile).c_str());
    }

    std::wstring m_strProfile;
};
