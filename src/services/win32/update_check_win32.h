#pragma once
// At start-up: whether a newer release is offered, and how its updater is
// started. The check only decides and reports; asking the operator belongs
// to start-up, which owns the prompt and the machine's settings.

#include <windows.h>

#include <string>

#include "services/win32/download_win32.h"

// A newer release than the program's own, as its description offers it.
struct UpdateOffer {
    // The program's folder: TORQA.ini, the downloaded description and the
    // updater lie there.
    std::wstring m_strFolder;
    // The release's URLPath, checked to stay inside the quotes it is handed
    // to the updater in.
    std::wstring m_strUrlPath;
};

// 1 with offer filled when TORQA.ini beside the program at strModulePath
// names a release description whose Version is newer than the program's
// own; 0 in every other case, silently. The folder of that path holds
// TORQA.ini, the downloaded description and the updater, and its version
// resource is the version offered releases are compared with. The
// description's download is held to timing.
int FindNewerRelease(const std::wstring& strModulePath, UpdateOffer& offer,
                     const DownloadTiming& timing = DownloadTiming{});

// Starts the updater beside the program with the offer's location, the
// folder strTarget the operator chose and the language nLangId. 1 when the
// shell started it; 0 when its parameters could not be made or the shell
// could not start it (no updater beside the program, for one).
int StartUpdater(const UpdateOffer& offer, const std::wstring& strTarget, LANGID nLangId);

// ShellExecuteW "open" without owner or working folder; nShow 1 is a normal
// window, anything else a hidden one. The shell's result.
INT_PTR RunProgram(const std::wstring& strProgram, const std::wstring& strParameters, int nShow);
