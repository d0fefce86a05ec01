#include "framework/afx_folder_picker.h"

#include <cwchar>

#include "base/win32/com_owner_win32.h"
#include "base/win32/handles_win32.h"

namespace {

struct CIdListTraits {
    using type = PIDLIST_ABSOLUTE;
    static type Invalid() noexcept { return nullptr; }
    static void Close(type h) noexcept { ::CoTaskMemFree(h); }
};
using CUniqueIdList = CUniqueHandle<CIdListTraits>;

}  // namespace

bool AfxBrowseForFolder(BROWSEINFOW& info, std::wstring& strFolder)
{
    // The picker's own reference, for a caller that did not set COM up: the
    // guard gives back only what it took, so a thread already in COM stays
    // as it was.
    const CComInitGuard com(COM_INIT_SHELL_APARTMENT);
    const CUniqueIdList pidl(::SHBrowseForFolderW(&info));
    if (!pidl)
        return false;
    strFolder = AfxGetPathFromIdList(pidl.get());
    return true;
}

std::wstring AfxGetPathFromIdList(PCIDLIST_ABSOLUTE pidl)
{
    // The shell's call demands a buffer of MAX_PATH, so no longer path comes.
    std::wstring strPath(MAX_PATH, L'\0');
    if (pidl == nullptr || !::SHGetPathFromIDListW(pidl, strPath.data()))
        return std::wstring();
    strPath.resize(wcsnlen(strPath.c_str(), MAX_PATH));
    return strPath;
}
