#pragma once
// For its lifetime, one DLL cannot be had from the system's folder: this
// executable's LoadLibraryExW refuses it, as the loader does a DLL that is
// missing, when asked with LOAD_LIBRARY_SEARCH_SYSTEM32. Any other load,
// and that DLL asked for some other way, goes through; so code that did not
// insist on the system's folder would get past the refusal, and its test
// would see it.

#include <windows.h>

#include <memory>
#include <string>

#include "support/import_patch_win32.h"

class CRefusedSystemLibrary {
public:
    explicit CRefusedSystemLibrary(const wchar_t* pszName)
    {
        s_strRefused = pszName;
        s_pfnOriginal = reinterpret_cast<decltype(&::LoadLibraryExW)>(
            reinterpret_cast<void*>(::GetProcAddress(::GetModuleHandleW(L"kernel32.dll"), "LoadLibraryExW")));
        m_pPatch = std::make_unique<CImportPatch>("LoadLibraryExW", reinterpret_cast<void*>(&Refuse));
    }
    ~CRefusedSystemLibrary()
    {
        m_pPatch.reset();
        s_strRefused.clear();
    }
    CRefusedSystemLibrary(const CRefusedSystemLibrary&) = delete;
    CRefusedSystemLibrary& operator=(const CRefusedSystemLibrary&) = delete;

    bool Applied() const { return s_pfnOriginal != nullptr && m_pPatch->Applied(); }

private:
    static HMODULE WINAPI Refuse(LPCWSTR pszName, HANDLE hFile, DWORD dwFlags)
    {
        if ((dwFlags & LOAD_LIBRARY_SEARCH_SYSTEM32) != 0 && pszName != nullptr
            && _wcsicmp(pszName, s_strRefused.c_str()) == 0) {
            ::SetLastError(ERROR_MOD_NOT_FOUND);
            return nullptr;
        }
        return s_pfnOriginal(pszName, hFile, dwFlags);
    }

    static inline std::wstring s_strRefused;
    static inline decltype(&::LoadLibraryExW) s_pfnOriginal = nullptr;
    std::unique_ptr<CImportPatch> m_pPatch;
};
