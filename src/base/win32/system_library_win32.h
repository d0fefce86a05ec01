#pragma once
// A DLL of the system's own folder, loaded by name, and the functions found
// in it; unloaded with the object.
//
// The program runs elevated, usually from a downloads folder. A DLL lying
// beside it, or in the current directory, under the name of one it uses
// would run with those rights; so any DLL the program loads by name comes
// from the system's folder only. That also keeps such DLLs out of the
// executable's import table, where the loader would resolve them before
// the program's first line could restrict the search. Loading by hand
// rather than through a delay-load helper keeps a missing DLL an ordinary
// failure result for the caller, not an exception raised from a thunk.

#include <windows.h>

#include "base/win32/handles_win32.h"

class CSystemLibrary {
public:
    explicit CSystemLibrary(const wchar_t* pszName) noexcept
        : m_module(::LoadLibraryExW(pszName, nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32))
    {
    }

    // False with the loader's reason in GetLastError.
    bool IsLoaded() const noexcept { return m_module.valid(); }

    // The export as the function pointer type the caller holds; false, with
    // pfn null, when the library is not loaded or lacks it.
    template <class TFunctionPtr>
    bool Find(const char* pszExport, TFunctionPtr& pfn) const noexcept
    {
        pfn = m_module ? reinterpret_cast<TFunctionPtr>(
                             reinterpret_cast<void*>(::GetProcAddress(m_module.get(), pszExport)))
                       : nullptr;
        return pfn != nullptr;
    }

private:
    CUniqueModule m_module;
};
