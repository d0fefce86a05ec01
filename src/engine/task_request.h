#pragma once
// What a run reads from the dialog. The UI thread writes these only while no
// run exists; during a run only m_nCancel changes.

#include <atomic>
#include <cstdint>
#include <string>
#include <thread>

enum TaskType : int32_t {
    TASK_NONE = -1,   // no task radio checked
    TASK_FILE_COPY = 0,
    TASK_SECTOR_COPY = 1,
    TASK_FORMAT = 2,
};

struct TaskRequest {
    int32_t m_nTaskType = TASK_FILE_COPY;
    // File Copy: the source folder; Sector Copy: the source volume; Format: empty.
    std::wstring m_strSourcePath;
    std::wstring m_strLabel;
    std::atomic<int32_t> m_nCancel{0};
    // Joinable while a run exists. Set and cleared on the UI thread only.
    std::thread m_hSupervisor;

    bool IsRunning() const { return m_hSupervisor.joinable(); }
};
