#pragma once
// How the core reaches one drive slot's controls. Workers call these from
// their own threads, so implementations must be safe to call off the UI
// thread (the Windows ones send window messages).

#include <string>

class ITextView {
public:
    virtual ~ITextView() = default;
    virtual void SetText(const std::wstring& strText) = 0;
    virtual std::wstring GetText() const = 0;
};

class IProgressView {
public:
    virtual ~IProgressView() = default;
    // 0..100
    virtual void SetPos(int nPos) = 0;
    virtual int GetPos() const = 0;
};
