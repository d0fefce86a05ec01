#pragma once
// The task and its inputs as the dialog showed them when Start was pressed.
// A run takes its own copy (CTaskRun), so nothing the dialog changes while
// it goes on can reach a worker.

#include <cstdint>
#include <string>

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
    // Format: the file system selected in the combo when Start was pressed.
    std::wstring m_strFileSystem;
    // File Copy and Sector Copy: 1 when every drive is read back and compared
    // with the source before it may show "OK". The operator's choice.
    int32_t m_nVerify = 0;
    // Sector Copy only: 1 when only the chunks the master's file system uses
    // are copied. The operator's choice.
    int32_t m_nUsedSpaceOnly = 0;
};
