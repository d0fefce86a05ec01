#include "services/download_win32.h"

#include <windows.h>
#include <wininet.h>

#include <cwchar>
#include <vector>

#include "framework/afx_handle.h"
#include "services/update_names.h"

namespace {

struct CInternetHandleTraits {
    using type = HINTERNET;
    static type Invalid() noexcept { return nullptr; }
    static void Close(type h) noexcept { ::InternetCloseHandle(h); }
};
using CUniqueInternetHandle = CUniqueHandle<CInternetHandleTraits>;

// As text, as the server sent it; 0 when it cannot be read.
int QueryStatusCode(HINTERNET hRequest)
{
    std::vector<wchar_t> buffer(10000 / sizeof(wchar_t), L'\0');
    DWORD nBytes = static_cast<DWORD>(buffer.size() * sizeof(wchar_t));
    DWORD nIndex = 0;
    if (!::HttpQueryInfoW(hRequest, HTTP_QUERY_STATUS_CODE, buffer.data(), &nBytes, &nIndex))
        return 0;
    buffer.back() = L'\0';
    return static_cast<int>(std::wcstol(buffer.data(), nullptr, 10));
}

// The whole body into the file; false as soon as any part is lost or the
// body outgrows the limit.
bool CopyBody(HINTERNET hRequest, HANDLE hFile, unsigned long long nSizeLimit)
{
    unsigned long long nTotal = 0;
    for (;;) {
        DWORD nAvailable = 0;
        if (!::InternetQueryDataAvailable(hRequest, &nAvailable, 0, 0))
            return false;
        // Zero available is the end of the body; one more byte than the
        // limit is enough to know it is too large.
        const DWORD nWant = nAvailable > 0 ? nAvailable : 1;
        std::vector<BYTE> block(nWant);
        DWORD nRead = 0;
        if (!::InternetReadFile(hRequest, block.data(), nWant, &nRead))
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
    CUniqueInternetHandle session(
        ::InternetOpenW(DOWNLOAD_AGENT, INTERNET_OPEN_TYPE_PRECONFIG, nullptr, nullptr, 0));
    if (!session)
        return DOWNLOAD_NOT_OPENED;
    // RELOAD: a cached description would hide the release we look for.
    CUniqueInternetHandle request(
        ::InternetOpenUrlW(session.get(), strUrl.c_str(), nullptr, 0, INTERNET_FLAG_RELOAD, 0));
    if (!request)
        return DOWNLOAD_NOT_OPENED;

    const int nStatus = QueryStatusCode(request.get());
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
        bComplete = CopyBody(request.get(), file.get(), nSizeLimit);
    }
    if (!bComplete) {
        ::DeleteFileW(strLocalPath.c_str());
        return DOWNLOAD_BROKEN;
    }
    return DOWNLOAD_OK;
}
