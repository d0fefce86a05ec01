#pragma once
// One run of the real supervisor, drivers and engines over a bay, timed, for
// the benchmarks. The run's deliberate pauses (the result and idle pauses)
// are zero and the supervisor polls every 10 ms, so what is timed is the
// work; the engines' own polls keep the product's values.

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include "bay/simulated_bay.h"
#include "engine/drive_slot_table.h"
#include "engine/task_request.h"
#include "engine/task_run.h"
#include "platform/platform_services.h"
#include "platform/sleeper.h"
#include "support/memory_slot_views.h"
#include "support/no_shell_open.h"

struct BenchRunResult {
    double dSeconds = 0.0;
    int nSlots = 0;
    int nOk = 0;
};

class CBenchRun : public IRunListener {
public:
    // The bay's description, with folders and images relative to root.
    bool UseBay(const std::string& strBayText, const std::filesystem::path& root)
    {
        BayDescription description;
        std::string strError;
        if (!ParseBayDescription(strBayText, root, description, strError)) {
            std::fprintf(stderr, "bench: %s\n", strError.c_str());
            return false;
        }
        m_pBay = std::make_unique<CSimulatedBay>(std::move(description));
        return true;
    }

    CSimulatedBay& Bay() { return *m_pBay; }

    // A Format takes the file system and label; the copies, the source.
    BenchRunResult Run(int32_t nTask, const std::wstring& strSource, bool bVerify = false,
                       const std::wstring& strFileSystem = std::wstring(), const std::wstring& strLabel = std::wstring(),
                       bool bUsedSpaceOnly = false)
    {
        RunTiming timing;
        timing.m_supervisorPoll = std::chrono::milliseconds(10);
        timing.m_resultPause = std::chrono::milliseconds(0);
        timing.m_idlePause = std::chrono::milliseconds(0);
        const PlatformServices services{m_pBay->Volumes(),   m_pBay->Folders(),  m_pBay->RawVolumes(),
                                        m_pBay->Formatter(), m_pBay->OemText(),  m_pBay->Messages(),
                                        m_shell,             m_sleeper,          timing};
        TaskRequest request;
        request.m_nTaskType = nTask;
        request.m_strSourcePath = strSource;
        request.m_nVerify = bVerify ? 1 : 0;
        request.m_nUsedSpaceOnly = bUsedSpaceOnly ? 1 : 0;
        request.m_strFileSystem = strFileSystem;
        request.m_strLabel = strLabel;
        CDriveSlotTable slots(m_pBay->Volumes(), request, m_noRun);
        CMemorySlots views;
        views.BindTo(slots);
        slots.RefreshDriveSlots();
        CTaskRun run(request, slots, services, *this);
        m_bEnded = false;

        BenchRunResult result;
        const auto start = std::chrono::steady_clock::now();
        if (!run.Start())
            return result;
        {
            std::unique_lock<std::mutex> lock(m_mutex);
            m_ended.wait(lock, [this] { return m_bEnded; });
        }
        result.dSeconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        run.Finish();
        result.nSlots = slots.GetDriveCount();
        for (int i = 0; i < result.nSlots; ++i)
            result.nOk += views.statuses[i].GetText() == L"OK" ? 1 : 0;
        return result;
    }

    void OnRunEnded() override
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_bEnded = true;
        m_ended.notify_all();
    }

private:
    // The table is scanned once, before the run exists.
    class CNoRun : public IRunPresence {
    public:
        bool IsRunActive() const override { return false; }
    } m_noRun;
    std::unique_ptr<CSimulatedBay> m_pBay;
    CNoShellOpen m_shell;
    CThreadSleeper m_sleeper;
    std::mutex m_mutex;
    std::condition_variable m_ended;
    bool m_bEnded = false;
};

// The process's peak resident size in bytes (Linux), 0 where unknown.
inline uint64_t PeakResidentBytes()
{
    std::ifstream status("/proc/self/status");
    for (std::string strLine; std::getline(status, strLine);) {
        if (strLine.rfind("VmHWM:", 0) == 0)
            return std::strtoull(strLine.c_str() + 6, nullptr, 10) * 1024;
    }
    return 0;
}

// A folder in memory where there is one, so the drives' speeds, not the
// host's disk, set the pace.
inline std::filesystem::path BenchScratchFolder(const std::string& strName)
{
    std::error_code error;
    const std::filesystem::path base = std::filesystem::is_directory("/dev/shm", error)
                                           ? std::filesystem::path("/dev/shm")
                                           : std::filesystem::temp_directory_path();
    return base / strName;
}

// One command-line option: its name and what its value (nullptr for a flag
// without one) does.
struct BenchOption {
    const char* pszName;
    bool bTakesValue;
    std::function<void(const char* pszValue)> apply;
};

// False for an unknown option or a missing value.
inline bool ReadBenchOptions(int argc, char** argv, const std::vector<BenchOption>& options)
{
    for (int i = 1; i < argc; ++i) {
        const std::string strArg = argv[i];
        const auto it = std::find_if(options.begin(), options.end(),
                                     [&](const BenchOption& option) { return strArg == option.pszName; });
        if (it == options.end() || (it->bTakesValue && i + 1 >= argc))
            return false;
        it->apply(it->bTakesValue ? argv[++i] : nullptr);
    }
    return true;
}

template <class T>
std::function<void(const char*)> SetNumber(T& field)
{
    return [&field](const char* pszValue) { field = static_cast<T>(std::strtoull(pszValue, nullptr, 10)); };
}

inline std::function<void(const char*)> SetPath(std::filesystem::path& field)
{
    return [&field](const char* pszValue) { field = pszValue; };
}
