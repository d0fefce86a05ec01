#pragma once
// The names the update check shares with the release server, the updater
// and the administrator who sets a machine up for updates.

// Beside the executable, written by whoever installs the program.
constexpr wchar_t UPDATE_CONFIG_FILE[] = L"TORQA.ini";
constexpr wchar_t UPDATE_CONFIG_SECTION[] = L"TORQA";
constexpr wchar_t UPDATE_CONFIG_URL_KEY[] = L"DownloadURL";

// The release description the server hands out; kept in the program folder.
constexpr wchar_t RELEASE_FILE[] = L"current-release.ini";
constexpr wchar_t RELEASE_SECTION[] = L"Information";
constexpr wchar_t RELEASE_VERSION_KEY[] = L"Version";
constexpr wchar_t RELEASE_URL_PATH_KEY[] = L"URLPath";

// The separate program that fetches and installs a release, and the tag by
// which it knows who started it.
constexpr wchar_t UPDATER_PROGRAM[] = L"TORQA_Update.exe";
constexpr wchar_t UPDATER_CALLER_TAG[] = L"Fennelbridge-SH";

constexpr wchar_t DOWNLOAD_AGENT[] = L"HTTPFILE";

// What GetPrivateProfileStringW hands back for a missing key; no real value
// looks like it.
constexpr wchar_t INI_MISSING_SENTINEL[] = L"$FailedString_Undefined$";
