#pragma once
// Whether the calling thread is in COM, asked the one way that holds under
// Wine too (its CoGetApartmentType still answers "main STA" on a thread that
// has left COM).

#include <windows.h>
#include <objbase.h>

// S_OK when the thread had no COM; S_FALSE or RPC_E_CHANGED_MODE otherwise.
// Leaves the thread as it was.
inline HRESULT ProbeApartment()
{
    const HRESULT hr = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    if (SUCCEEDED(hr))
        CoUninitialize();
    return hr;
}
