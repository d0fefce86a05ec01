#pragma once
// COM's owners: the thread's apartment, and move-only owners of an interface
// pointer and of a BSTR. The pointer owner takes over a reference it is given
// (what an out-parameter returns) and gives it back with Release exactly once.

#include <windows.h>
#include <objbase.h>
#include <oleauto.h>

#include <utility>

// The apartment of the thread that runs the dialog and calls the shell: the
// shell's objects are apartment-threaded, and ShellExecute asks for exactly
// this. A nested initialisation must name the same model, or it is refused
// with RPC_E_CHANGED_MODE.
constexpr DWORD COM_INIT_SHELL_APARTMENT = COINIT_APARTMENTTHREADED | COINIT_DISABLE_OLE1DDE;

// COM for the current thread, for as long as the guard lives. Every
// successful CoInitializeEx, S_FALSE ("already initialised") included, takes
// a reference that one CoUninitialize must give back. RPC_E_CHANGED_MODE
// took none: the thread stays in the apartment someone else chose, and
// uninitialising would pull COM from under them.
class CComInitGuard {
public:
    explicit CComInitGuard(DWORD dwCoInit) noexcept : m_hr(::CoInitializeEx(nullptr, dwCoInit)) {}
    ~CComInitGuard()
    {
        if (SUCCEEDED(m_hr))
            ::CoUninitialize();
    }

    // Bound to the thread that made it: neither copied nor moved.
    CComInitGuard(const CComInitGuard&) = delete;
    CComInitGuard& operator=(const CComInitGuard&) = delete;

    // False for RPC_E_CHANGED_MODE too, although COM is then usable in the
    // thread's other apartment type; a caller that can live with that asks
    // result().
    bool succeeded() const noexcept { return SUCCEEDED(m_hr); }
    HRESULT result() const noexcept { return m_hr; }

private:
    HRESULT m_hr;
};

template <class T>
class CComOwner {
public:
    CComOwner() noexcept = default;
    explicit CComOwner(T* p) noexcept : m_p(p) {}
    ~CComOwner() { reset(); }

    CComOwner(const CComOwner&) = delete;
    CComOwner& operator=(const CComOwner&) = delete;
    CComOwner(CComOwner&& other) noexcept : m_p(std::exchange(other.m_p, nullptr)) {}
    CComOwner& operator=(CComOwner&& other) noexcept
    {
        if (this != &other) {
            reset();
            m_p = std::exchange(other.m_p, nullptr);
        }
        return *this;
    }

    T* get() const noexcept { return m_p; }
    T* operator->() const noexcept { return m_p; }
    explicit operator bool() const noexcept { return m_p != nullptr; }

    // For an out-parameter; what was held is released first.
    T** put() noexcept
    {
        reset();
        return &m_p;
    }
    // For CoCreateInstance's void** out-parameter.
    void** put_void() noexcept { return reinterpret_cast<void**>(put()); }

    void reset() noexcept
    {
        if (T* p = std::exchange(m_p, nullptr))
            p->Release();
    }

private:
    T* m_p = nullptr;
};

class CUniqueBstr {
public:
    CUniqueBstr() noexcept = default;
    // Null when the system could not allocate the string.
    explicit CUniqueBstr(const wchar_t* psz) noexcept : m_bstr(::SysAllocString(psz)) {}
    ~CUniqueBstr() { ::SysFreeString(m_bstr); }

    CUniqueBstr(const CUniqueBstr&) = delete;
    CUniqueBstr& operator=(const CUniqueBstr&) = delete;

    BSTR get() const noexcept { return m_bstr; }
    explicit operator bool() const noexcept { return m_bstr != nullptr; }

private:
    BSTR m_bstr = nullptr;
};
