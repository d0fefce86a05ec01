#pragma once
// Move-only owners of Win32 handles. Each traits class names its handle type,
// the value that means "nothing owned" and how to release it; the owner is the
// same template for all of them.
//
// Releasing keeps GetLastError intact: code commonly reads the error of a
// failed call after a scope exit has already closed a handle, and the close
// must not overwrite the error the caller is about to report.

#include <windows.h>

#include <utility>

template <class Traits>
class CUniqueHandle {
public:
    using type = typename Traits::type;

    explicit CUniqueHandle(type h = Traits::Invalid()) noexcept : m_h(h) {}
    ~CUniqueHandle() { Close(); }

    CUniqueHandle(const CUniqueHandle&) = delete;
    CUniqueHandle& operator=(const CUniqueHandle&) = delete;

    CUniqueHandle(CUniqueHandle&& other) noexcept : m_h(other.release()) {}
    CUniqueHandle& operator=(CUniqueHandle&& other) noexcept
    {
        if (this != &other)
            reset(other.release());
        return *this;
    }

    type get() const noexcept { return m_h; }

    // Gives up ownership without closing; the caller now owns the handle.
    type release() noexcept { return std::exchange(m_h, Traits::Invalid()); }

    // For an API's out-parameter: RegOpenKeyExW(..., key.put()). What was
    // held is closed first, so writing the new handle cannot leak the old.
    type* put() noexcept
    {
        Close();
        return &m_h;
    }

    void reset(type h = Traits::Invalid()) noexcept
    {
        // Resetting to the handle already held must not close the handle the
        // owner goes on holding.
        if (h == m_h)
            return;
        Close();
        m_h = h;
    }

    bool valid() const noexcept { return m_h != Traits::Invalid(); }
    explicit operator bool() const noexcept { return valid(); }

private:
    void Close() noexcept
    {
        if (!valid())
            return;
        const DWORD dwError = ::GetLastError();
        Traits::Close(m_h);
        ::SetLastError(dwError);
        m_h = Traits::Invalid();
    }

    type m_h;
};

// Threads, events, mutexes, processes: NULL means none.
struct CHandleTraits {
    using type = HANDLE;
    static type Invalid() noexcept { return nullptr; }
    static void Close(type h) noexcept { ::CloseHandle(h); }
};

// CreateFileW (files and volumes) reports failure as INVALID_HANDLE_VALUE.
struct CFileHandleTraits {
    using type = HANDLE;
    static type Invalid() noexcept { return INVALID_HANDLE_VALUE; }
    static void Close(type h) noexcept { ::CloseHandle(h); }
};

struct CRegKeyTraits {
    using type = HKEY;
    static type Invalid() noexcept { return nullptr; }
    static void Close(type h) noexcept { ::RegCloseKey(h); }
};

// Buffers the system allocates for us (FormatMessageW, ConvertSidToStringSidW).
struct CLocalMemTraits {
    using type = HLOCAL;
    static type Invalid() noexcept { return nullptr; }
    static void Close(type h) noexcept { ::LocalFree(h); }
};

// SIDs from AllocateAndInitializeSid only; other SIDs are freed differently.
struct CSidTraits {
    using type = PSID;
    static type Invalid() noexcept { return nullptr; }
    static void Close(type h) noexcept { ::FreeSid(h); }
};

// FindFirstFileW reports failure as INVALID_HANDLE_VALUE, and a find handle
// is not a kernel handle: CloseHandle cannot end it.
struct CFindHandleTraits {
    using type = HANDLE;
    static type Invalid() noexcept { return INVALID_HANDLE_VALUE; }
    static void Close(type h) noexcept { ::FindClose(h); }
};

// LoadLibraryW's modules; the module unloads when its last reference goes.
struct CModuleTraits {
    using type = HMODULE;
    static type Invalid() noexcept { return nullptr; }
    static void Close(type h) noexcept { ::FreeLibrary(h); }
};

// Fonts, brushes, bitmaps and regions we create. One template, so that the
// owner hands back the typed handle the drawing calls want. Not for stock
// objects, nor for a region that SetWindowRgn accepted: the system owns that
// one from then on, so release() it.
template <class HandleT>
struct CGdiObjectTraits {
    using type = HandleT;
    static type Invalid() noexcept { return nullptr; }
    static void Close(type h) noexcept { ::DeleteObject(h); }
};

struct CHookTraits {
    using type = HHOOK;
    static type Invalid() noexcept { return nullptr; }
    static void Close(type h) noexcept { ::UnhookWindowsHookEx(h); }
};

using CUniqueKernelHandle = CUniqueHandle<CHandleTraits>;
using CUniqueFileHandle = CUniqueHandle<CFileHandleTraits>;
using CUniqueRegKey = CUniqueHandle<CRegKeyTraits>;
using CUniqueLocal = CUniqueHandle<CLocalMemTraits>;
using CUniqueSid = CUniqueHandle<CSidTraits>;
using CUniqueFindHandle = CUniqueHandle<CFindHandleTraits>;
using CUniqueModule = CUniqueHandle<CModuleTraits>;
using CUniqueFont = CUniqueHandle<CGdiObjectTraits<HFONT>>;
using CUniqueBrush = CUniqueHandle<CGdiObjectTraits<HBRUSH>>;
using CUniqueBitmap = CUniqueHandle<CGdiObjectTraits<HBITMAP>>;
using CUniqueRegion = CUniqueHandle<CGdiObjectTraits<HRGN>>;
using CUniqueHook = CUniqueHandle<CHookTraits>;
