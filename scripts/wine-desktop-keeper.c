/*
 * Keeps Wine's desktop open for as long as its wineserver runs; started once
 * per session by wine-run.
 *
 * Wine closes a desktop one second after its last program has ended, and the
 * next program starts it again. Between two tests that is a new desktop
 * process for every test, a second lost each time, and a race of the new
 * test against the old desktop's shutdown. Any running program counts as a
 * user of the desktop; this one does nothing else.
 *
 * Usage: wine-desktop-keeper.exe READY_FILE
 * READY_FILE is created once the desktop is there, which wine-run waits for.
 */
#include <windows.h>

int WINAPI wWinMain(HINSTANCE hInstance, HINSTANCE hPrevious, PWSTR pszCommandLine, int nShow)
{
    (void)hInstance;
    (void)hPrevious;
    (void)nShow;
    /* Asking for it starts the desktop now, from here, with this process's
     * descriptors (none worth keeping): a desktop that a test started would
     * hold the test's output pipe open for as long as it lives. */
    GetDesktopWindow();
    /* A path with spaces comes quoted. */
    PWSTR pszReady = pszCommandLine;
    if (*pszReady == L'"') {
        ++pszReady;
        PWSTR pszEnd = wcschr(pszReady, L'"');
        if (pszEnd != NULL)
            *pszEnd = L'\0';
    }
    HANDLE hReady = CreateFileW(pszReady, GENERIC_WRITE, 0, NULL, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, NULL);
    if (hReady == INVALID_HANDLE_VALUE)
        return 1;
    CloseHandle(hReady);
    Sleep(INFINITE);
    return 0;
}
