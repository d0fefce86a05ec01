#include "base/win32/module_path_win32.h"

std::wstring GetModulePath(HMODULE hModule)
{
    // Long-path aware systems return paths beyond MAX_PATH; a full buffer
    // means the path may have been cut, so the buffer grows and we ask again.
    std::wstring strPath(MAX_PATH, L'\0');
    for (;;) {
        const DWORD nCopied = ::GetModuleFileNameW(hModule, strPath.data(), static_cast<DWORD>(strPath.size()));
        if (nCopied == 0)
            return {};
        if (nCopied < strPath.size()) {
            strPath.resize(nCopied);
            return strPath;
        }
        if (strPath.size() >= 0x10000)
            return {};
        strPath.resize(strPath.size() * 2);
    }
}
