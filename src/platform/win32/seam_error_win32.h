#pragma once
// Keeps the system's reason for a call that just failed as the seam's error
// (platform/system_error.h). Called straight after the failing call: any
// call between, a handle's close included, may overwrite the last error.

#include <windows.h>

#include "platform/system_error.h"

inline bool KeepLastError(bool bSucceeded)
{
    if (!bSucceeded)
        SetSeamError(::GetLastError());
    return bSucceeded;
}
