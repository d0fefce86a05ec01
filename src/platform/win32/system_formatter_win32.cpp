#include "platform/win32/system_formatter_win32.h"

#include <windows.h>

#include <utility>
#include <vector>

#include "base/scope_guard.h"
#include "base/win32/handles_win32.h"
#include "platform/win32/seam_error_win32.h"

namespace {

// fmifs.dll comes without a header; these are the prototypes of its exports.
using PFMIFSCALLBACK = BOOLEAN(WINAPI*)(int Command, DWORD SubAction, PVOID ActionInfo);
using PFORMATEX = VOID(WINAPI*)(PWCHAR DriveRoot, DWORD MediaFlag, PWCHAR Format, PWCHAR Label, BOOL QuickFormat,
                                DWORD ClusterSize, PFMIFSCALLBACK Callback);

// The callback carries no context, but FormatEx calls it on the thread that
// called FormatEx: the core's callback for the call under way is that
// thread's own.
thread_local FormatExCallbackFn t_pfnCoreCallback = nullptr;

BOOLEAN WINAPI FormatExTrampoline(int nCommand, DWORD dwSubAction, PVOID pActionInfo)
{
    try {
        const FormatExCallbackFn pfnCallback = t_pfnCoreCallback;
        // No core callback asked to watch this format: let it run.
        if (pfnCallback == nullptr)
            return TRUE;
        return pfnCallback(static_cast<uint32_t>(nCommand), dwSubAction, pActionInfo) != 0 ? TRUE : FALSE;
    } catch (...) {
        // A callback that failed cannot watch the rest of the format.
        return FALSE;
    }
}

// FormatEx takes its strings as PWCHAR: it gets copies it may write to, never
// the caller's strings.
std::vector<wchar_t> WritableCopy(const std::wstring& strText)
{
    return std::vector<wchar_t>(strText.c_str(), strText.c_str() + strText.size() + 1);
}

class CWin32FormatLibrary : public IFormatLibrary {
public:
    explicit CWin32FormatLibrary(CUniqueModule module) : m_module(std::move(module)) {}

    bool FindFormatEx() override
    {
        m_pfnFormatEx =
            reinterpret_cast<PFORMATEX>(reinterpret_cast<void*>(::GetProcAddress(m_module.get(), "FormatEx")));
        return KeepLastError(m_pfnFormatEx != nullptr);
    }

    void FormatEx(const std::wstring& strRoot, uint32_t nMediaFlag, const std::wstring& strFileSystem,
                  const std::wstring& strLabel, int nQuickFormat, uint32_t nClusterSize,
                  FormatExCallbackFn callback) override
    {
        if (m_pfnFormatEx == nullptr)
            return;
        std::vector<wchar_t> root = WritableCopy(strRoot);
        std::vector<wchar_t> fileSystem = WritableCopy(strFileSystem);
        std::vector<wchar_t> label = WritableCopy(strLabel);
        // The previous callback comes back when the call ends, so that a
        // FormatEx made from inside a callback hands the outer call's
        // callbacks back to it.
        const FormatExCallbackFn pfnPrevious = std::exchange(t_pfnCoreCallback, callback);
        const CScopeGuard restore([pfnPrevious] { t_pfnCoreCallback = pfnPrevious; });
        m_pfnFormatEx(root.data(), nMediaFlag, fileSystem.data(), label.data(), nQuickFormat, nClusterSize,
                      &FormatExTrampoline);
    }

private:
    CUniqueModule m_module;
    PFORMATEX m_pfnFormatEx = nullptr;
};

}  // namespace

std::unique_ptr<IFormatLibrary> CWin32SystemFormatter::LoadFormatLibrary()
{
    // The program runs elevated, often from a downloads folder: an fmifs.dll
    // lying beside it, or in the current directory, would run with its
    // rights if the usual search order found it first.
    CUniqueModule module(m_strLibraryPath.empty()
                             ? ::LoadLibraryExW(L"fmifs.dll", nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32)
                             : ::LoadLibraryExW(m_strLibraryPath.c_str(), nullptr, 0));
    if (!KeepLastError(static_cast<bool>(module)))
        return nullptr;
    return std::make_unique<CWin32FormatLibrary>(std::move(module));
}
