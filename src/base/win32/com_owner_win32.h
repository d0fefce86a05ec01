#pragma once
// Move-only owners of a COM interface pointer and of a BSTR. The pointer
// owner takes over a reference it is given (what an out-parameter returns)
// and gives it back with Release exactly once.

#include <windows.h>
#include <oleauto.h>

#include <utility>

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
