#pragma once
// One copy of the program per logon session, held by a named mutex.

#include <windows.h>

// Sentinel of AcquireSingleInstanceLock: the mutex does not exist and the
// caller did not ask to create it.
inline const HANDLE SINGLE_INSTANCE_NOT_CREATED = reinterpret_cast<HANDLE>(-1);

// 0 when another copy holds the mutex (or it cannot be created); the new
// mutex handle, which the caller owns and holds for as long as this copy
// runs; or SINGLE_INSTANCE_NOT_CREATED when the mutex is missing and nCreate
// is not 1 (a sentinel, not a handle: never to be closed).
HANDLE AcquireSingleInstanceLock(const wchar_t* pszName, int nCreate);

// Security that gives Everyone and Administrators the access mask, so a copy
// started under another account of the same session can open the mutex too.
// All zero when the descriptor cannot be built (default security then).
// On success the descriptor and what it refers to live until the process ends.
SECURITY_ATTRIBUTES BuildMutexSecurityAttributes(DWORD dwAccess);
