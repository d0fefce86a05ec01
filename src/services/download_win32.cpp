#include "services/download_win32.h"

#include <windows.h>
#include <wininet.h>

#include <cwchar>
#include <vector>

#include "framework/afx_handle.h"
#include "framework/afx_system_library.h"
#include "services/update_names.h"

namespace {

// WinINet's entry points, from the system's own wininet.dll (see
// CSystemLibrary for why it is loaded by hand), for one download.
class CWinInet {
public:
    CWinInet() noexcept : m_library(L"wininet.dll")
    {
        m_bLoaded = m_library.Find("InternetOpenW", m_pfnInternetOpenW)
            && m_library.Find("InternetOpenUrlW", m_pfnInternetOpenUrlW)
            && m_library.Find("HttpQueryInfoW", m_pfnHttpQueryInfoW)
            && m_library.Find("InternetQueryDataAvailable", m_pfnInternetQueryDataAvailable)
            && m_library.Find("InternetReadFile", m_pfnInternetReadFile)
            && m_library.Find("InternetCloseHandle", m_pfnInternetCloseHandle);
    }

    CWinInet(const CWinInet&) = delete;
    CWinInet& operator=(const CWinInet&) = delete;

    bool IsLoaded() const noexcept { return m_bLoaded; }

    decltype(&::InternetOpenW) m_pfnInternetOpenW = nullptr;
    decltype(&::InternetOpenUrlW) m_pfnInternetOpenUrlW = nullptr;
    decltype(&::HttpQueryInfoW) m_pfnHttpQueryInfoW = nullptr;
    decltype(&::InternetQueryDataAvailable) m_pfnInternetQueryDataAvailable = nullptr;
    decltype(&::InternetReadFile) m_pfnInternetReadFile = nullptr;
    decltype(&::InternetCloseHandle) m_pfnInternetCloseHandle = nullptr;

private:
    CSystemLibrary m_library;
    bool m_bLoaded = false;
};

// An HINTERNET, closed through the WinINet that made it: a handle owner
// with static traits cannot reach a library loaded at run time. The
// download's CWinInet outlives every handle made from it.
class CInternetHandle {
public:
    CInternetHandle(const CWinInet& winInet, HINTERNET hInternet) noexcept
        : m_pfnClose(winInet.m_pfnInternetCloseHandle), m_hInternet(hInternet)
    {
    }
    ~CInternetHandle()
    {
        if (m_hInternet == nullptr)
            return;
        const DWORD dwError = ::GetLastError();
        m_pfnClose(m_hInternet);
        ::SetLastError(dwError);
    }

    CInternetHandle(const CInternetHandle&) = delete;
    CInternetHandle& operator=(const CInternetHandle&) = delete;

    HINTERNET get() const noexcept { return m_hInternet; }
    explicit operator bool() const noexcept { return m_hInternet != nullptr; }

private:
    decltype(&::InternetCloseHandle) m_pfnClose;
    HINTERNET m_hInternet;
};

// As text, as the server sent it; 0 when it cannot be read.
int QueryStatusCode(const CWinInet& winInet, HINTERNET hRequest)
{
    std::vector<wchar_t> buffer(10000 / sizeof(wchar_t), L'\0');
    DWORD nBytes = static_cast<DWORD>(buffer.size() * sizeof(wchar_t));
    DWORD nIndex = 0;
    if (!winInet.m_pfnHttpQueryInfoW(hRequest, HTTP_QUERY_STATUS_CODE, buffer.data(), &nBytes, &nIndex))
        return 0;
    buffer.back() = L'\0';
    return static_cast<int>(std::wcstol(buffer.data(), nullptr, 10));
}

// The whole body into the file; false as soon as any part is lost or the
// body outgrows the limit.
bool CopyBody(const CWinInet& winInet, HINTERNET hRequest, HANDLE hFile, unsigned long long nSizeLimit)
{
    unsigned long long nTotal = 0;
    for (;;) {
        DWORD nAvailable = 0;
        if (!winInet.m_pfnInternetQueryDataAvailable(hRequest, &nAvailable, 0, 0))
            return false;
        // Zero available is the end of the body; one more byte than the
        // limit is enough to know it is too large.
        const DWORD nWant = nAvailable > 0 ? nAvailable : 1;
        std::vector<BYTE> block(nWant);
        DWORD nRead = 0;
        if (!winInet.m_pfnInternetReadFile(hRequest, block.data(), nWant, &nRead))
            return false;
        if (nRead == 0)
            return true;
        nTotal += nRead;
        if (nTotal > nSizeLimit)
            return false;
        DWORD nWritten = 0;
        if (!::WriteFile(hFile, block.data(), nRead, &nWritten, nullptr) || nWritten != nRead)
            return false;
    }
}

}  // namespace

int DownloadToFile(const std::wstring& strUrl, const std::wstring& strLocalPath, unsigned long long nSizeLimit)
{
    const CWinInet winInet;
    if (!winInet.IsLoaded())
        return DOWNLOAD_NOT_OPENED;
    const CInternetHandle session(
        winInet, winInet.m_pfnInternetOpenW(DOWNLOAD_AGENT, INTERNET_OPEN_TYPE_PRECONFIG, nullptr, nullptr, 0));
    if (!session)
        return DOWNLOAD_NOT_OPENED;
    // RELOAD: a cached description would hide the release we look for.
    const CInternetHandle request(
        winInet, winInet.m_pfnInternetOpenUrlW(session.get(), strUrl.c_str(), nullptr, 0, INTERNET_FLAG_RELOAD, 0));
    if (!request)
        return DOWNLOAD_NOT_OPENED;

    const int nStatus = QueryStatusCode(winInet, request.get());
    if (nStatus == 0)
        return DOWNLOAD_BROKEN;
    if (nStatus != 200)
        return nStatus;

    bool bComplete = false;
    {
        CUniqueFileHandle file(::CreateFileW(strLocalPath.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                             FILE_ATTRIBUTE_NORMAL, nullptr));
        // A description we could not replace must not be read as if it
        // were the new one.
        if (!file)
            return DOWNLOAD_BROKEN;
        bComplete = CopyBody(winInet, request.get(), file.get(), nSizeLimit);
    }
    if (!bComplete) {
        ::DeleteFileW(strLocalPath.c_str());
        return DOWNLOAD_BROKEN;
    }
    return DOWNLOAD_OK;
}
