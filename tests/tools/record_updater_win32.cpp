// Stands in for the updater and for the program in the update check's
// tests. Started as the updater, it writes the parameters it was given, as
// UTF-8, to "updater-parameters.txt" beside itself and ends. Its version
// resource is the version the check compares offered releases with.

#include <windows.h>

#include <string>

namespace {

// The command line as the shell built it: the quoted program, then the
// parameter text exactly as the caller passed it.
std::wstring ParameterText()
{
    const wchar_t* p = GetCommandLineW();
    if (*p == L'"') {
        ++p;
        while (*p != L'\0' && *p != L'"')
            ++p;
        if (*p == L'"')
            ++p;
    } else {
        while (*p != L'\0' && *p != L' ' && *p != L'\t')
            ++p;
    }
    while (*p == L' ' || *p == L'\t')
        ++p;
    return p;
}

std::wstring OwnFolder()
{
    std::wstring strPath(32768, L'\0');
    strPath.resize(GetModuleFileNameW(nullptr, strPath.data(), static_cast<DWORD>(strPath.size())));
    return strPath.substr(0, strPath.find_last_of(L'\\'));
}

}  // namespace

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int)
{
    const std::wstring strText = ParameterText();
    const int nBytes = WideCharToMultiByte(CP_UTF8, 0, strText.c_str(), static_cast<int>(strText.size()), nullptr, 0,
                                           nullptr, nullptr);
    std::string strUtf8(static_cast<size_t>(nBytes), '\0');
    WideCharToMultiByte(CP_UTF8, 0, strText.c_str(), static_cast<int>(strText.size()), strUtf8.data(), nBytes,
                        nullptr, nullptr);

    // Written aside and moved in place, so a reader never sees half of it.
    const std::wstring strFolder = OwnFolder();
    const std::wstring strPartial = strFolder + L"\\updater-parameters.partial";
    const std::wstring strFinal = strFolder + L"\\updater-parameters.txt";
    HANDLE hFile = CreateFileW(strPartial.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL,
                               nullptr);
    if (hFile == INVALID_HANDLE_VALUE)
        return 1;
    DWORD nWritten = 0;
    const BOOL bWritten = WriteFile(hFile, strUtf8.data(), static_cast<DWORD>(strUtf8.size()), &nWritten, nullptr);
    CloseHandle(hFile);
    if (!bWritten || !MoveFileExW(strPartial.c_str(), strFinal.c_str(), MOVEFILE_REPLACE_EXISTING))
        return 1;
    return 0;
}
