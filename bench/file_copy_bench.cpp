// File Copy of one tree onto many throttled drives of the bay, through the
// real supervisor, drivers and engine. The figure is the parallel
// efficiency: the ideal time (tree size over the slowest drive's speed)
// over the measured time of the run. The run's deliberate pauses (the result
// and idle pauses) are set to zero, and the supervisor polls every 10 ms, so
// what is measured is the copying.
//
//   file_copy_bench [--smoke] [--drives N] [--speed BYTES_PER_SECOND]
//                   [--slow-speed BYTES_PER_SECOND] [--small-files N]
//                   [--small-size BYTES] [--large-files N] [--large-size BYTES]
//                   [--keep FOLDER]
//
// --slow-speed makes the last drive slower than the others; --keep leaves the
// source tree and the drives' folders in FOLDER. Otherwise they go to a
// folder in memory (/dev/shm where there is one, else the temporary folder)
// that is removed afterwards: the drives' speeds, not the host's disk, are
// to set the pace.

#include <chrono>
#include <atomic>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <string>
#include <vector>

#include "bay/simulated_bay.h"
#include "engine/drive_slot_table.h"
#include "engine/run_control.h"
#include "engine/task_request.h"
#include "engine/task_supervisor.h"
#include "platform/platform_services.h"
#include "platform/shell_open.h"
#include "platform/sleeper.h"
#include "platform/slot_views.h"

namespace {

struct BenchOptions {
    int nDrives = 22;
    uint64_t nSpeed = 10'000'000;
    uint64_t nSlowSpeed = 0;
    int nSmallFiles = 400;
    uint64_t nSmallSize = 16 * 1024;
    int nLargeFiles = 4;
    uint64_t nLargeSize = 8 * 1024 * 1024;
    std::filesystem::path keep;
};

class CNullText : public ITextView {
public:
    void SetText(const std::wstring& strText) override
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_strText = strText;
    }
    std::wstring GetText() const override
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_strText;
    }

private:
    mutable std::mutex m_mutex;
    std::wstring m_strText;
};

class CNullBar : public IProgressView {
public:
    void SetPos(int nPos) override { m_nPos.store(nPos); }
    int GetPos() const override { return m_nPos.load(); }

private:
    std::atomic<int> m_nPos{0};
};

class CNoShell : public IShellOpen {
public:
    void OpenInFileBrowser(const std::wstring&) override {}
};

class CEndWaiter : public IRunListener {
public:
    void OnRunEnded() override
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_bEnded = true;
        m_ended.notify_all();
    }
    void Wait()
    {
        std::unique_lock<std::mutex> lock(m_mutex);
        m_ended.wait(lock, [this] { return m_bEnded; });
    }

private:
    std::mutex m_mutex;
    std::condition_variable m_ended;
    bool m_bEnded = false;
};

bool ReadOptions(int argc, char** argv, BenchOptions& options)
{
    for (int i = 1; i < argc; ++i) {
        const std::string strArg = argv[i];
        const bool bHasValue = i + 1 < argc;
        if (strArg == "--smoke") {
            options.nDrives = 2;
            options.nSpeed = 0;
            options.nSmallFiles = 8;
            options.nSmallSize = 1000;
            options.nLargeFiles = 1;
            options.nLargeSize = 300000;
        } else if (strArg == "--drives" && bHasValue) {
            options.nDrives = std::atoi(argv[++i]);
        } else if (strArg == "--speed" && bHasValue) {
            options.nSpeed = std::strtoull(argv[++i], nullptr, 10);
        } else if (strArg == "--slow-speed" && bHasValue) {
            options.nSlowSpeed = std::strtoull(argv[++i], nullptr, 10);
        } else if (strArg == "--small-files" && bHasValue) {
            options.nSmallFiles = std::atoi(argv[++i]);
        } else if (strArg == "--small-size" && bHasValue) {
            options.nSmallSize = std::strtoull(argv[++i], nullptr, 10);
        } else if (strArg == "--large-files" && bHasValue) {
            options.nLargeFiles = std::atoi(argv[++i]);
        } else if (strArg == "--large-size" && bHasValue) {
            options.nLargeSize = std::strtoull(argv[++i], nullptr, 10);
        } else if (strArg == "--keep" && bHasValue) {
            options.keep = argv[++i];
        } else {
            return false;
        }
    }
    return options.nDrives >= 1 && options.nDrives <= MAX_DRIVE_SLOTS;
}

void WriteFileOfSize(const std::filesystem::path& file, uint64_t nBytes, char chFill)
{
    std::filesystem::create_directories(file.parent_path());
    std::ofstream out(file, std::ios::binary | std::ios::trunc);
    const std::string strBlock(64 * 1024, chFill);
    for (uint64_t nLeft = nBytes; nLeft > 0;) {
        const uint64_t nChunk = nLeft < strBlock.size() ? nLeft : strBlock.size();
        out.write(strBlock.data(), static_cast<std::streamsize>(nChunk));
        nLeft -= nChunk;
    }
}

// Many small files in a few folders, and a few large ones at the top.
uint64_t MakeSourceTree(const std::filesystem::path& source, const BenchOptions& options)
{
    uint64_t nTotal = 0;
    for (int i = 0; i < options.nSmallFiles; ++i) {
        WriteFileOfSize(source / ("folder" + std::to_string(i % 10)) / ("small" + std::to_string(i) + ".dat"),
                        options.nSmallSize, static_cast<char>('a' + i % 26));
        nTotal += options.nSmallSize;
    }
    for (int i = 0; i < options.nLargeFiles; ++i) {
        WriteFileOfSize(source / ("large" + std::to_string(i) + ".bin"), options.nLargeSize,
                        static_cast<char>('A' + i % 26));
        nTotal += options.nLargeSize;
    }
    return nTotal;
}

std::string BayText(const BenchOptions& options, uint64_t nTotal)
{
    std::string strText;
    const uint64_t nSize = nTotal * 2 + (64ull << 20);
    for (int i = 0; i < options.nDrives; ++i) {
        const char chLetter = static_cast<char>('E' + i);
        const bool bSlow = options.nSlowSpeed != 0 && i == options.nDrives - 1;
        const uint64_t nSpeed = bSlow ? options.nSlowSpeed : options.nSpeed;
        strText += std::string("[") + chLetter + ":]\nfolder = drive-" + chLetter + "\nsize = "
            + std::to_string(nSize) + "\nfs = NTFS\n";
        if (nSpeed != 0)
            strText += "speed = " + std::to_string(nSpeed) + "\n";
    }
    return strText;
}

}  // namespace

int main(int argc, char** argv)
{
    BenchOptions options;
    if (!ReadOptions(argc, argv, options)) {
        std::fprintf(stderr, "usage: file_copy_bench [--smoke] [--drives 1..22] [--speed B/s] [--slow-speed B/s]\n"
                             "       [--small-files N] [--small-size B] [--large-files N] [--large-size B]"
                             " [--keep FOLDER]\n");
        return 2;
    }
    const bool bKeep = !options.keep.empty();
    std::error_code error;
    const std::filesystem::path scratch =
        std::filesystem::is_directory("/dev/shm", error) ? std::filesystem::path("/dev/shm")
                                                         : std::filesystem::temp_directory_path();
    const std::filesystem::path root = bKeep ? options.keep : scratch / "corvantis-file-copy-bench";
    std::filesystem::remove_all(root);
    const uint64_t nTotal = MakeSourceTree(root / "source", options);
    for (int i = 0; i < options.nDrives; ++i)
        std::filesystem::create_directories(root / (std::string("drive-") + static_cast<char>('E' + i)));

    BayDescription description;
    std::string strError;
    if (!ParseBayDescription(BayText(options, nTotal), root, description, strError)) {
        std::fprintf(stderr, "file_copy_bench: %s\n", strError.c_str());
        return 1;
    }
    CSimulatedBay bay(std::move(description));
    CNoShell shell;
    CThreadSleeper sleeper;
    RunTiming timing;
    timing.m_supervisorPoll = std::chrono::milliseconds(10);
    timing.m_resultPause = std::chrono::milliseconds(0);
    timing.m_idlePause = std::chrono::milliseconds(0);
    const PlatformServices services{bay.Volumes(), bay.Folders(), bay.Formatter(), shell, sleeper, timing};

    TaskRequest request;
    request.m_nTaskType = TASK_FILE_COPY;
    request.m_strSourcePath = (root / "source").wstring();
    CRunControl run;
    CDriveSlotTable slots(bay.Volumes(), request, run);
    std::vector<CNullText> letters(MAX_DRIVE_SLOTS);
    std::vector<CNullText> statuses(MAX_DRIVE_SLOTS);
    std::vector<CNullBar> bars(MAX_DRIVE_SLOTS);
    for (int i = 0; i < MAX_DRIVE_SLOTS; ++i)
        slots.BindSlot(i, letters[i], bars[i], statuses[i]);
    slots.RefreshDriveSlots();
    CEndWaiter waiter;
    CTaskSupervisor supervisor(request, slots, run, services, waiter);

    const auto start = std::chrono::steady_clock::now();
    if (!supervisor.Start()) {
        std::fprintf(stderr, "file_copy_bench: the run could not start\n");
        return 1;
    }
    waiter.Wait();
    const double dMeasured = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    supervisor.FinishRun();

    int nOk = 0;
    for (int i = 0; i < slots.GetDriveCount(); ++i)
        nOk += statuses[i].GetText() == L"OK" ? 1 : 0;
    if (!bKeep)
        std::filesystem::remove_all(root);

    const uint64_t nSlowest = options.nSlowSpeed != 0 ? options.nSlowSpeed : options.nSpeed;
    std::printf("file copy: %d of %d drives OK, tree %.1f MB (%d files), ", nOk, slots.GetDriveCount(),
                static_cast<double>(nTotal) / 1e6, options.nSmallFiles + options.nLargeFiles);
    if (nSlowest == 0) {
        std::printf("drives unthrottled: measured %.2f s\n", dMeasured);
    } else {
        const double dIdeal = static_cast<double>(nTotal) / static_cast<double>(nSlowest);
        std::printf("drives at %.1f MB/s%s: ideal %.2f s, measured %.2f s, parallel efficiency %.3f\n",
                    static_cast<double>(options.nSpeed) / 1e6, options.nSlowSpeed != 0 ? " (one slower)" : "", dIdeal,
                    dMeasured, dIdeal / dMeasured);
    }
    return nOk == slots.GetDriveCount() && nOk == options.nDrives ? 0 : 1;
}
