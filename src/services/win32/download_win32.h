#pragma once
// One HTTP GET into a local file, with the system's internet settings.

#include <chrono>
#include <string>

constexpr int DOWNLOAD_OK = 0;
// WinINet could not be loaded, the URL is no http or https URL, or no
// answer came: the connection or the request failed, or the server said
// nothing within the receive bound.
constexpr int DOWNLOAD_NOT_OPENED = 1;
// Status 200, but the body did not arrive whole in the file: the status
// could not be read, the file could not be written, the connection broke
// (also: the body ended short of the length the server declared), a
// receive outlived its bound, the deadline passed, or the body went past
// the size limit. No partial file is left behind. Never an HTTP status, so
// callers cannot mistake it for one.
constexpr int DOWNLOAD_BROKEN = 2;

// How long a download may hold its caller, who at start-up is the whole
// program. The defaults are the product's; tests shorten them.
struct DownloadTiming {
    // Making the connection.
    std::chrono::milliseconds m_connectTimeout{10000};
    // Each send and each receive: a server that accepts and then says
    // nothing, or stops halfway, and a read still blocked at the deadline.
    std::chrono::milliseconds m_receiveTimeout{10000};
    // The whole download, from the first call on: a server that sends a byte
    // now and then never lets a single receive run out.
    std::chrono::milliseconds m_deadline{30000};
};

// DOWNLOAD_OK when the server answered 200 and the whole body, at most
// nSizeLimit bytes, replaced the local file; otherwise one of the codes
// above or the HTTP status the server sent (404, 500, ...).
int DownloadToFile(const std::wstring& strUrl, const std::wstring& strLocalPath, unsigned long long nSizeLimit,
                   const DownloadTiming& timing = DownloadTiming{});
