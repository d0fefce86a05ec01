#pragma once
// The application object: start-up through InitInstance, the application
// name (the caption of every message box), and the per-user profile under
// HKEY_CURRENT_USER\Software\<registry key>\<profile name>\<section>.
//
// The global application is whatever AfxWinMain or AfxSetApp registered
// last; the constructor does not register itself, so a test can build
// several application objects and choose which one is current. An
// application object unregisters itself when destroyed.
//
// <windows.h> is included first, so its macros rename GetProfileString,
// GetProfileInt and WriteProfileString to their ...W forms here and at every
// call site alike.

#include <windows.h>

#include <string>

#include "base/win32/handles_win32.h"

class CWnd;

class CWinApp {
public:
    CWinApp();
    virtual ~CWinApp();

    CWinApp(const CWinApp&) = delete;
    CWinApp& operator=(const CWinApp&) = delete;

    // FALSE ends the program at once with ExitInstance's code.
    virtual BOOL InitInstance() { return TRUE; }
    // The program's exit code.
    virtual int ExitInstance() { return 0; }

    const std::wstring& GetAppName() const { return m_strAppName; }
    // Keeps at most MAX_PATH characters, the most a caption ever shows.
    void SetAppName(const std::wstring& strAppName);

    // The profile name is the application name at the time of this call;
    // renaming the application later does not move the settings.
    void SetRegistryKey(const std::wstring& strKey);
    const std::wstring& GetRegistryKey() const { return m_strRegistryKey; }
    const std::wstring& GetProfileName() const { return m_strProfileName; }

    // Reading creates the key path when it is missing, as writing does. The
    // stored type is not checked. Without a registry key every read returns
    // its default and every write fails.
    std::wstring GetProfileString(const std::wstring& strSection, const std::wstring& strEntry,
                                  const std::wstring& strDefault);
    UINT GetProfileInt(const std::wstring& strSection, const std::wstring& strEntry, int nDefault);
    BOOL WriteProfileString(const std::wstring& strSection, const std::wstring& strEntry,
                            const std::wstring& strValue);
    BOOL WriteProfileInt(const std::wstring& strSection, const std::wstring& strEntry, int nValue);

    // HKCU\Software\<key>\<profile>\<section>, created when missing, opened
    // for reading and writing; invalid on failure or without a registry key.
    CUniqueRegKey GetSectionKey(const std::wstring& strSection) const;

    HINSTANCE m_hInstance;
    CWnd* m_pMainWnd = nullptr;

private:
    std::wstring m_strAppName;
    std::wstring m_strRegistryKey;
    std::wstring m_strProfileName;
};

CWinApp* AfxGetApp();
// Makes pApp the application every Afx function refers to; nullptr for none.
void AfxSetApp(CWinApp* pApp);

// The module that holds dialog templates and strings: the application's
// instance, or the executable when there is no application.
HINSTANCE AfxGetResourceHandle();

// Registers app, names it after the executable unless it already has a name,
// runs InitInstance and then, when that returned TRUE, a message loop until
// WM_QUIT. Returns ExitInstance's code; -1 when InitInstance or ExitInstance
// threw, because nothing may throw out of the program's entry point.
int AfxWinMain(CWinApp& app, HINSTANCE hInstance);

// Captioned with the application's name (the executable's base name when
// there is no application), owned by the calling thread's active window.
int AfxMessageBox(const std::wstring& strText, UINT nType = MB_OK);

// Full path of the module; never truncated.
std::wstring AfxGetModuleFileName(HMODULE hModule);
// The executable's file name without folder and extension.
std::wstring AfxGetExeBaseName();

// The language of dialog templates and strings for the whole process;
// US English (0x0409) until set.
void AfxSetResourceLanguage(LANGID lang);
LANGID AfxGetResourceLanguage();
