// Entry of the product: the dialog over the machine's own drives.

#include <windows.h>

#include "app/win32/app_win32.h"
#include "app/win32/process_defaults_win32.h"
#include "platform/sleeper.h"
#include "platform/win32/folder_tree_win32.h"
#include "platform/win32/oem_text_win32.h"
#include "platform/win32/system_messages_win32.h"
#include "platform/win32/raw_volumes_win32.h"
#include "platform/win32/shell_open_win32.h"
#include "platform/win32/system_formatter_win32.h"
#include "platform/win32/volume_queries_win32.h"

int WINAPI wWinMain(HINSTANCE hInstance, HINSTANCE, PWSTR, int)
{
    ApplyProcessDefaults();

    CWin32VolumeQueries volumes;
    CWin32FolderTree folders;
    CWin32RawVolumes rawVolumes;
    CWin32SystemFormatter formatter;
    CWin32OemText oemText;
    CWin32ShellOpen shell;
    CThreadSleeper sleeper;
    CWin32SystemMessages messages;
    const PlatformServices services{volumes, folders,  rawVolumes, formatter,  oemText,
                                    messages, shell,   sleeper,    RunTiming{}};
    CKOBLApp app(services);
    return AfxWinMain(app, hInstance);
}
