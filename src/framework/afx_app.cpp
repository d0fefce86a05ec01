#include "framework/afx_app.h"

#include <atomic>
#include <cstring>
#include <vector>

#include "base/win32/module_path_win32.h"
#include "framework/afx_resource.h"

namespace {

std::atomic<CWinApp*> g_pApp{nullptr};
std::atomic<LANGID> g_resourceLanguage{AFX_LANG_ENGLISH_US};

// A value that keeps growing between our size query and our read is not
// worth chasing forever.
constexpr int MAX_READ_ATTEMPTS = 8;

bool ReadRegistryBytes(HKEY hKey, const std::wstring& strEntry, std::vector<BYTE>& data)
{
    DWORD cbData = 0;
    LONG nResult = ::RegQueryValueExW(hKey, strEntry.c_str(), nullptr, nullptr, nullptr, &cbData);
    for (int nAttempt = 0; nAttempt < MAX_READ_ATTEMPTS && nResult == ERROR_SUCCESS; ++nAttempt) {
        data.resize(cbData);
        DWORD cbRead = cbData;
        nResult = ::RegQueryValueExW(hKey, strEntry.c_str(), nullptr, nullptr, data.data(), &cbRead);
        if (nResult == ERROR_SUCCESS) {
            data.resize(cbRead);
            return true;
        }
        if (nResult == ERROR_MORE_DATA) {
            cbData = cbRead;
            nResult = ERROR_SUCCESS;
        }
    }
    return false;
}

} // namespace

CWinApp::CWinApp() : m_hInstance(::GetModuleHandleW(nullptr)) {}

CWinApp::~CWinApp()
{
    CWinApp* pThis = this;
    g_pApp.compare_exchange_strong(pThis, nullptr);
}

void CWinApp::SetAppName(const std::wstring& strAppName)
{
    m_strAppName = strAppName.substr(0, MAX_PATH);
}

void CWinApp::SetRegistryKey(const std::wstring& strKey)
{
    m_strRegistryKey = strKey;
    m_strProfileName = m_strAppName;
}

CUniqueRegKey CWinApp::GetSectionKey(const std::wstring& strSection) const
{
    if (m_strRegistryKey.empty())
        return CUniqueRegKey();
    std::wstring strPath = L"Software\\" + m_strRegistryKey + L"\\" + m_strProfileName;
    if (!strSection.empty())
        strPath += L"\\" + strSection;
    CUniqueRegKey key;
    if (::RegCreateKeyExW(HKEY_CURRENT_USER, strPath.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE,
                          KEY_READ | KEY_WRITE, nullptr, key.put(), nullptr) != ERROR_SUCCESS)
        return CUniqueRegKey();
    return key;
}

std::wstring CWinApp::GetProfileString(const std::wstring& strSection, const std::wstring& strEntry,
                                       const std::wstring& strDefault)
{
    CUniqueRegKey key = GetSectionKey(strSection);
    std::vector<BYTE> data;
    if (!key || !ReadRegistryBytes(key.get(), strEntry, data))
        return strDefault;
    // Stored strings need not be terminated, nor even a whole number of
    // characters; anything after the first terminator is not part of it.
    std::wstring strValue(data.size() / sizeof(wchar_t), L'\0');
    if (!strValue.empty())
        std::memcpy(strValue.data(), data.data(), strValue.size() * sizeof(wchar_t));
    const size_t nTerminator = strValue.find(L'\0');
    if (nTerminator != std::wstring::npos)
        strValue.resize(nTerminator);
    return strValue;
}

UINT CWinApp::GetProfileInt(const std::wstring& strSection, const std::wstring& strEntry, int nDefault)
{
    CUniqueRegKey key = GetSectionKey(strSection);
    if (!key)
        return static_cast<UINT>(nDefault);
    DWORD dwValue = 0;
    DWORD cbValue = sizeof(dwValue);
    // A shorter value would leave part of the number unread.
    if (::RegQueryValueExW(key.get(), strEntry.c_str(), nullptr, nullptr, reinterpret_cast<BYTE*>(&dwValue),
                           &cbValue) != ERROR_SUCCESS ||
        cbValue != sizeof(dwValue))
        return static_cast<UINT>(nDefault);
    return dwValue;
}

BOOL CWinApp::WriteProfileString(const std::wstring& strSection, const std::wstring& strEntry,
                                 const std::wstring& strValue)
{
    CUniqueRegKey key = GetSectionKey(strSection);
    if (!key)
        return FALSE;
    const DWORD cbValue = static_cast<DWORD>((strValue.size() + 1) * sizeof(wchar_t));
    return ::RegSetValueExW(key.get(), strEntry.c_str(), 0, REG_SZ, reinterpret_cast<const BYTE*>(strValue.c_str()),
                            cbValue) == ERROR_SUCCESS;
}

BOOL CWinApp::WriteProfileInt(const std::wstring& strSection, const std::wstring& strEntry, int nValue)
{
    CUniqueRegKey key = GetSectionKey(strSection);
    if (!key)
        return FALSE;
    const DWORD dwValue = static_cast<DWORD>(nValue);
    return ::RegSetValueExW(key.get(), strEntry.c_str(), 0, REG_DWORD, reinterpret_cast<const BYTE*>(&dwValue),
                            sizeof(dwValue)) == ERROR_SUCCESS;
}

CWinApp* AfxGetApp()
{
    return g_pApp.load();
}

void AfxSetApp(CWinApp* pApp)
{
    g_pApp.store(pApp);
}

HINSTANCE AfxGetResourceHandle()
{
    CWinApp* pApp = AfxGetApp();
    if (pApp != nullptr && pApp->m_hInstance != nullptr)
        return pApp->m_hInstance;
    return ::GetModuleHandleW(nullptr);
}

int AfxWinMain(CWinApp& app, HINSTANCE hInstance)
{
    try {
        AfxSetApp(&app);
        if (hInstance != nullptr)
            app.m_hInstance = hInstance;
        if (app.GetAppName().empty())
            app.SetAppName(AfxGetExeBaseName());
        if (app.InitInstance()) {
            MSG msg;
            BOOL bResult;
            while ((bResult = ::GetMessageW(&msg, nullptr, 0, 0)) != 0) {
                if (bResult == -1)
                    break;
                ::TranslateMessage(&msg);
                ::DispatchMessageW(&msg);
            }
        }
        return app.ExitInstance();
    } catch (...) {
        return -1;
    }
}

int AfxMessageBox(const std::wstring& strText, UINT nType)
{
    CWinApp* pApp = AfxGetApp();
    const std::wstring strCaption =
        pApp != nullptr && !pApp->GetAppName().empty() ? pApp->GetAppName() : AfxGetExeBaseName();
    // A disabled window cannot own a modal box (it is itself waiting on a
    // modal window), and another thread's window would tie our box to that
    // thread's input.
    HWND hOwner = ::GetActiveWindow();
    if (hOwner != nullptr &&
        (!::IsWindowEnabled(hOwner) || ::GetWindowThreadProcessId(hOwner, nullptr) != ::GetCurrentThreadId()))
        hOwner = nullptr;
    return ::MessageBoxW(hOwner, strText.c_str(), strCaption.c_str(), nType);
}

std::wstring AfxGetModuleFileName(HMODULE hModule)
{
    return GetModulePath(hModule);
}

std::wstring AfxGetExeBaseName()
{
    std::wstring strName = AfxGetModuleFileName(nullptr);
    const size_t nSlash = strName.find_last_of(L"\\/");
    if (nSlash != std::wstring::npos)
        strName.erase(0, nSlash + 1);
    const size_t nDot = strName.rfind(L'.');
    if (nDot != std::wstring::npos && nDot > 0)
        strName.resize(nDot);
    return strName;
}

void AfxSetResourceLanguage(LANGID lang)
{
    g_resourceLanguage.store(lang);
}

LANGID AfxGetResourceLanguage()
{
    return g_resourceLanguage.load();
}
