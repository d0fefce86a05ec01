#pragma once
// What both executables settle for the whole process before anything else
// runs: where DLLs may come from, and that the system shows no error box of
// its own on the program's behalf.

// First thing in wWinMain, before any DLL is loaded by name and before any
// drive is asked anything.
void ApplyProcessDefaults();
