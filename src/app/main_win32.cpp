// Entry of the product: the dialog over the machine's own drives.

#include <windows.h>

#include "app/app_win32.h"
#include "platform/win32/shell_open_win32.h"
#include "platform/win32/volume_queries_win32.h"

int WINAPI wWinMain(HINSTANCE hInstance, HINSTANCE, PWSTR, int)
{
    CWin32VolumeQueries volumes;
    CWin32ShellOpen shell;
    CKOBLApp app(volumes, shell);
    return AfxWinMain(app, hInstance);
}
