#include "app/win32/process_defaults_win32.h"

#include <windows.h>

void ApplyProcessDefaults()
{
    // Elevated, and usually started from a downloads folder: from here on no
    // DLL is loaded from beside the program or from the current directory,
    // whoever asks for it, the system's own DLLs included. Our own loads by
    // name ask for the system folder anyway, so a failure here leaves them
    // safe.
    ::SetDefaultDllDirectories(LOAD_LIBRARY_SEARCH_SYSTEM32);

    // The drive scan asks every letter about its volume, an empty card-reader
    // slot and a stick pulled a moment ago included. Left to the system, such
    // a question raises "There is no disk in the drive" in a box of its own
    // and holds the scan, and the dialog with it, until someone answers; with
    // these flags the call fails and the letter is simply passed over. The
    // process-wide mode is what the documentation asks of every program at
    // start-up; whatever a parent already chose (its own boxes off) stays.
    ::SetErrorMode(::GetErrorMode() | SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX);
}
