#pragma once
// Starting this build's executables from a test, and waiting for them.

#include <windows.h>

#include <chrono>
#include <filesystem>
#include <string>

#include "base/win32/handles_win32.h"
#include "support/gui_wait_win32.h"

// A process of the given executable, ended by force if the test leaves it
// running. dwCreationFlags go to CreateProcessW as they are.
class CChildProcess {
public:
    explicit CChildProcess(const std::wstring& strExe, DWORD dwCreationFlags = 0)
    {
        std::wstring strCommand = L"\"" + strExe + L"\"";
        STARTUPINFOW startup{};
        startup.cb = sizeof(startup);
        PROCESS_INFORMATION info{};
        if (CreateProcessW(nullptr, strCommand.data(), nullptr, nullptr, FALSE, dwCreationFlags, nullptr, nullptr,
                           &startup, &info)) {
            m_process.reset(info.hProcess);
            CloseHandle(info.hThread);
            m_nProcessId = info.dwProcessId;
        }
    }
    ~CChildProcess()
    {
        if (m_process && WaitForSingleObject(m_process.get(), 0) == WAIT_TIMEOUT)
            TerminateProcess(m_process.get(), 99);
    }

    bool Started() const { return m_process.valid(); }
    DWORD ProcessId() const { return m_nProcessId; }
    // With every access right: CreateProcessW's own handle.
    HANDLE Handle() const { return m_process.get(); }
    bool IsRunning() const { return m_process && WaitForSingleObject(m_process.get(), 0) == WAIT_TIMEOUT; }
    // The exit code; STILL_ACTIVE, and a failure that names the windows
    // present, when it did not end within the bound.
    DWORD WaitForExit(std::chrono::milliseconds bound = GUI_WAIT_BOUND)
    {
        DWORD nCode = STILL_ACTIVE;
        if (WaitForSingleObject(m_process.get(), static_cast<DWORD>(bound.count())) == WAIT_OBJECT_0)
            GetExitCodeProcess(m_process.get(), &nCode);
        else
            ADD_FAILURE() << DescribeFailedWait("process " + std::to_string(m_nProcessId) + " to end", bound);
        return nCode;
    }

private:
    CUniqueKernelHandle m_process;
    DWORD m_nProcessId = 0;
};

inline std::wstring WindowsPath(const char* pszBuildPath)
{
    return std::filesystem::path(pszBuildPath).make_preferred().wstring();
}

