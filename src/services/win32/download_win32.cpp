#include "services/win32/download_win32.h"

#include <windows.h>
#include <wininet.h>

#include <cwchar>
#include <optional>
#include <vector>

#include "base/win32/handles_win32.h"
#include "base/win32/system_library_win32.h"
#include "services/update_names.h"

namespace {

using Clock = std::chrono::steady_clock;

// WinINet's entry points, from the system's own wininet.dll (see
// CSystemLibrary for why it is loaded by hand), for one download.
class CWinInet {
public:
    CWinInet() noexcept : m_library(L"wininet.dll")
    {
        m_bLoaded = m_library.Find("InternetOpenW", m_pfnInternetOpenW)
            && m_library.Find("InternetSetOptionW", m_pfnInternetSetOptionW)
            && m_library.Find("InternetCrackUrlW", m_pfnInternetCrackUrlW)
            && m_library.Find("InternetConnectW", m_pfnInternetConnectW)
            && m_library.Find("HttpOpenRequestW", m_pfnHttpOpenRequestW)
            && m_library.Find("HttpSendRequestW", m_pfnHttpSendRequestW)
            && m_library.Find("HttpQueryInfoW", m_pfnHttpQueryInfoW)
            && m_library.Find("InternetQueryDataAvailable", m_pfnInternetQueryDataAvailable)
            && m_library.Find("InternetReadFile", m_pfnInternetReadFile)
            && m_library.Find("InternetCloseHandle", m_pfnInternetCloseHandle);
    }

    CWinInet(const CWinInet&) = delete;
    CWinInet& operator=(const CWinInet&) = delete;

    bool IsLoaded() const noexcept { return m_bLoaded; }

    decltype(&::InternetOpenW) m_pfnInternetOpenW = nullptr;
    decltype(&::InternetSetOptionW) m_pfnInternetSetOptionW = nullptr;
    decltype(&::InternetCrackUrlW) m_pfnInternetCrackUrlW = nullptr;
    decltype(&::InternetConnectW) m_pfnInternetConnectW = nullptr;
    decltype(&::HttpOpenRequestW) m_pfnHttpOpenRequestW = nullptr;
    decltype(&::HttpSendRequestW) m_pfnHttpSendRequestW = nullptr;
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

// Windows hands the bounds of a handle down to the handles made from it;
// Wine takes the connection bound from the InternetOpenW handle but the
// send and receive bounds only from the connection's own. Both handles get
// all of them.
bool SetBounds(const CWinInet& winInet, HINTERNET hInternet, const DownloadTiming& timing)
{
    const struct {
        DWORD nOption;
        std::chrono::milliseconds bound;
    } kBounds[] = {
        {INTERNET_OPTION_CONNECT_TIMEOUT, timing.m_connectTimeout},
        {INTERNET_OPTION_SEND_TIMEOUT, timing.m_receiveTimeout},
        {INTERNET_OPTION_RECEIVE_TIMEOUT, timing.m_receiveTimeout},
    };
    for (const auto& b : kBounds) {
        DWORD nMilliseconds = static_cast<DWORD>(b.bound.count());
        if (!winInet.m_pfnInternetSetOptionW(hInternet, b.nOption, &nMilliseconds, sizeof(nMilliseconds)))
            return false;
    }
    return true;
}

struct HttpTarget {
    bool bSecure = false;
    INTERNET_PORT nPort = 0;
    std::wstring strHost;
    std::wstring strUser;
    std::wstring strPassword;
    // Path and query; a fragment is the client's own and never sent.
    std::wstring strObject;
};

std::wstring Part(const wchar_t* pszText, DWORD nLength)
{
    return pszText != nullptr ? std::wstring(pszText, nLength) : std::wstring();
}

bool CrackHttpUrl(const CWinInet& winInet, const std::wstring& strUrl, HttpTarget& target)
{
    URL_COMPONENTSW parts{};
    parts.dwStructSize = sizeof(parts);
    // Non-zero lengths ask for pointers into the URL rather than copies.
    parts.dwHostNameLength = 1;
    parts.dwUserNameLength = 1;
    parts.dwPasswordLength = 1;
    parts.dwUrlPathLength = 1;
    parts.dwExtraInfoLength = 1;
    if (!winInet.m_pfnInternetCrackUrlW(strUrl.c_str(), static_cast<DWORD>(strUrl.size()), 0, &parts))
        return false;
    if (parts.nScheme != INTERNET_SCHEME_HTTP && parts.nScheme != INTERNET_SCHEME_HTTPS)
        return false;
    target.bSecure = parts.nScheme == INTERNET_SCHEME_HTTPS;
    target.nPort = parts.nPort;
    target.strHost = Part(parts.lpszHostName, parts.dwHostNameLength);
    target.strUser = Part(parts.lpszUserName, parts.dwUserNameLength);
    target.strPassword = Part(parts.lpszPassword, parts.dwPasswordLength);
    const std::wstring strExtra = Part(parts.lpszExtraInfo, parts.dwExtraInfoLength);
    target.strObject = Part(parts.lpszUrlPath, parts.dwUrlPathLength) + strExtra.substr(0, strExtra.find(L'#'));
    return !target.strHost.empty();
}

const wchar_t* OptionalText(const std::wstring& strText)
{
    return strText.empty() ? nullptr : strText.c_str();
}

// A header of the answer as the server sent it; nothing when it is missing
// or cannot be read.
std::optional<std::wstring> QueryHeader(const CWinInet& winInet, HINTERNET hRequest, DWORD nHeader)
{
    std::vector<wchar_t> buffer(10000 / sizeof(wchar_t), L'\0');
    DWORD nBytes = static_cast<DWORD>(buffer.size() * sizeof(wchar_t));
    DWORD nIndex = 0;
    if (!winInet.m_pfnHttpQueryInfoW(hRequest, nHeader, buffer.data(), &nBytes, &nIndex))
        return std::nullopt;
    buffer.back() = L'\0';
    return std::wstring(buffer.data());
}

// As text, as the server sent it; 0 when it cannot be read.
int QueryStatusCode(const CWinInet& winInet, HINTERNET hRequest)
{
    const std::optional<std::wstring> strStatus = QueryHeader(winInet, hRequest, HTTP_QUERY_STATUS_CODE);
    return strStatus ? static_cast<int>(std::wcstol(strStatus->c_str(), nullptr, 10)) : 0;
}

// The length the head declares for the body; nothing when it declares none,
// and an HTTP/1.0 body then simply ends with the connection. WinINet ends a
// body cut short by a closed connection as if it were whole, so this is
// what tells the two apart. A length that is no number is taken as none
// declared.
std::optional<unsigned long long> QueryContentLength(const CWinInet& winInet, HINTERNET hRequest)
{
    const std::optional<std::wstring> strLength = QueryHeader(winInet, hRequest, HTTP_QUERY_CONTENT_LENGTH);
    if (!strLength || strLength->empty() || strLength->find_first_not_of(L"0123456789") != std::wstring::npos)
        return std::nullopt;
    return std::wcstoull(strLength->c_str(), nullptr, 10);
}

// The whole body into the file; false as soon as any part is lost, the body
// outgrows the limit or the deadline passes, or when it ends short of the
// declared length.
bool CopyBody(const CWinInet& winInet, HINTERNET hRequest, HANDLE hFile, unsigned long long nSizeLimit,
              Clock::time_point deadline)
{
    const std::optional<unsigned long long> nDeclared = QueryContentLength(winInet, hRequest);
    unsigned long long nTotal = 0;
    for (;;) {
        // Between reads: a read still blocked when the deadline passes is
        // ended by the receive bound instead.
        if (Clock::now() >= deadline)
            return false;
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
            return !nDeclared || nTotal == *nDeclared;
        nTotal += nRead;
        if (nTotal > nSizeLimit)
            return false;
        DWORD nWritten = 0;
        if (!::WriteFile(hFile, block.data(), nRead, &nWritten, nullptr) || nWritten != nRead)
            return false;
    }
}

}  // namespace

int DownloadToFile(const std::wstring& strUrl, const std::wstring& strLocalPath, unsigned long long nSizeLimit,
                   const DownloadTiming& timing)
{
    const Clock::time_point deadline = Clock::now() + timing.m_deadline;
    const CWinInet winInet;
    if (!winInet.IsLoaded())
        return DOWNLOAD_NOT_OPENED;
    HttpTarget target;
    if (!CrackHttpUrl(winInet, strUrl, target))
        return DOWNLOAD_NOT_OPENED;

    // InternetOpenUrlW would take the URL whole, but the connection it makes
    // inside gets no receive bound under Wine: the request is built here so
    // that its connection carries the bounds before anything is sent.
    const CInternetHandle session(
        winInet, winInet.m_pfnInternetOpenW(DOWNLOAD_AGENT, INTERNET_OPEN_TYPE_PRECONFIG, nullptr, nullptr, 0));
    if (!session || !SetBounds(winInet, session.get(), timing))
        return DOWNLOAD_NOT_OPENED;
    const CInternetHandle connection(
        winInet, winInet.m_pfnInternetConnectW(session.get(), target.strHost.c_str(), target.nPort,
                                               OptionalText(target.strUser), OptionalText(target.strPassword),
                                               INTERNET_SERVICE_HTTP, 0, 0));
    if (!connection || !SetBounds(winInet, connection.get(), timing))
        return DOWNLOAD_NOT_OPENED;
    // RELOAD: a cached description would hide the release we look for.
    const wchar_t* apszAccept[] = {L"*/*", nullptr};
    const CInternetHandle request(
        winInet, winInet.m_pfnHttpOpenRequestW(connection.get(), L"GET", target.strObject.c_str(), nullptr, nullptr,
                                               apszAccept,
                                               INTERNET_FLAG_RELOAD | (target.bSecure ? INTERNET_FLAG_SECURE : 0),
                                               0));
    if (!request || !winInet.m_pfnHttpSendRequestW(request.get(), nullptr, 0, nullptr, 0))
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
        bComplete = CopyBody(winInet, request.get(), file.get(), nSizeLimit, deadline);
    }
    if (!bComplete) {
        ::DeleteFileW(strLocalPath.c_str());
        return DOWNLOAD_BROKEN;
    }
    return DOWNLOAD_OK;
}
