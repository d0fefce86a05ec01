// Entry of the demo build: the same dialog over a simulated drive bay, so the
// program can be shown and tested without USB drives.
//
// The bay's description comes from the file named by the environment
// variable CORVANTIS_BAY, or else from "demo-bay.txt" beside the executable.

#include <windows.h>

#include <filesystem>
#include <string>
#include <vector>

#include "app/app_title.h"
#include "app/win32/app_win32.h"
#include "app/win32/process_defaults_win32.h"
#include "bay/simulated_bay.h"
#include "framework/afx_app.h"
#include "platform/sleeper.h"
#include "platform/win32/oem_text_win32.h"
#include "platform/win32/system_messages_win32.h"
#include "platform/win32/shell_open_win32.h"

namespace {

std::filesystem::path BayDescriptionFile()
{
    const DWORD nLength = GetEnvironmentVariableW(L"CORVANTIS_BAY", nullptr, 0);
    if (nLength > 0) {
        std::vector<wchar_t> buffer(nLength);
        const DWORD nCopied = GetEnvironmentVariableW(L"CORVANTIS_BAY", buffer.data(), nLength);
        if (nCopied > 0 && nCopied < nLength)
            return std::filesystem::path(std::wstring(buffer.data(), nCopied));
    }
    return std::filesystem::path(AfxGetModuleFileName(nullptr)).parent_path() / L"demo-bay.txt";
}

}  // namespace

int WINAPI wWinMain(HINSTANCE hInstance, HINSTANCE, PWSTR, int)
{
    // The same manifest asks for elevation and the same dialog loads the
    // same system DLLs (version resource, update check) and scans drive
    // letters the same way, so the demo is held to the product's defaults;
    // the bay loads no DLL of its own.
    ApplyProcessDefaults();

    BayDescription description;
    std::string strError;
    const std::filesystem::path bayFile = BayDescriptionFile();
    if (!LoadBayDescription(bayFile, description, strError)) {
        const std::wstring strMessage = L"The drive bay description " + bayFile.wstring() + L" cannot be used:\n"
            + std::filesystem::u8path(strError).wstring();
        MessageBoxW(nullptr, strMessage.c_str(), APP_TITLE, MB_OK | MB_ICONEXCLAMATION);
        return 1;
    }
    CSimulatedBay bay(std::move(description));
    // The OEM code page is the system's, not a drive's: the demo converts
    // labels as the product does.
    CWin32OemText oemText;
    CWin32ShellOpen shell;
    CThreadSleeper sleeper;
    // The bay's faults give Windows' numbers; their texts are the system's.
    CWin32SystemMessages messages;
    const PlatformServices services{bay.Volumes(), bay.Folders(), bay.RawVolumes(), bay.Formatter(),
                                    oemText,       messages,      shell,            sleeper,
                                    RunTiming{}};
    CKOBLApp app(services);
    return AfxWinMain(app, hInstance);
}
