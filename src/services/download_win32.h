#pragma once
// One HTTP GET into a local file, with the system's internet settings.

#include <string>

constexpr int DOWNLOAD_OK = 0;
// WinINet could not be loaded, or InternetOpenW or InternetOpenUrlW failed:
// no answer to look at.
constexpr int DOWNLOAD_NOT_OPENED = 1;
// Status 200, but the body did not arrive whole in the file: the status
// could not be read, the file could not be written, the connection broke,
// or the body went past the size limit. No partial file is left behind.
// Never an HTTP status, so callers cannot mistake it for one.
constexpr int DOWNLOAD_BROKEN = 2;

// DOWNLOAD_OK when the server answered 200 and the whole body, at most
// nSizeLimit bytes, replaced the local file; otherwise one of the codes
// above or the HTTP status the server sent (404, 500, ...).
int DownloadToFile(const std::wstring& strUrl, const std::wstring& strLocalPath, unsigned long long nSizeLimit);
