#pragma once
// Why a drive failed: the step its engine was at and the system's reason
// (a Win32 error number) the seam gave for it. An E code alone cannot tell
// a stick that was pulled from one another program holds, or a
// write-protected one from one that broke while it was read back.

#include <array>
#include <cstdint>
#include <mutex>

#include "platform/system_error.h"

// What the engine was doing when the drive failed; each has a catalogue row
// (slot_error_text.cpp) in the operator's language.
enum FailStep : int32_t {
    FAIL_STEP_NONE = 0,
    FAIL_STEP_OPENING,
    FAIL_STEP_LOCKING,
    FAIL_STEP_DISMOUNTING,
    FAIL_STEP_MEASURING,
    FAIL_STEP_READING_SOURCE,
    FAIL_STEP_WRITING,
    FAIL_STEP_FLUSHING,
    FAIL_STEP_READING_BACK,
    FAIL_STEP_LISTING,
    FAIL_STEP_MAKING_FOLDER,
    FAIL_STEP_COPYING_FILE,
    FAIL_STEP_CHECKING_DRIVE,
    FAIL_STEP_FORMATTING,
};

struct SlotFailure {
    int32_t nStep = FAIL_STEP_NONE;
    uint32_t nError = SYSERR_NONE;

    bool HasReason() const { return nStep != FAIL_STEP_NONE && nError != SYSERR_NONE; }
};

// The step that just failed, with the reason its seam call left on this
// thread. Into *pFailure when given; the engines' callers may pass none.
inline void NoteFailure(SlotFailure* pFailure, FailStep step)
{
    const uint32_t nError = TakeSeamError();
    if (pFailure != nullptr)
        *pFailure = SlotFailure{step, nError};
}

inline void NoteFailure(SlotFailure* pFailure, FailStep step, uint32_t nError)
{
    TakeSeamError();
    if (pFailure != nullptr)
        *pFailure = SlotFailure{step, nError};
}

constexpr int SLOT_FAILURE_SLOTS = 22;

// What each slot's drive failed of last. The slot's worker writes it, the
// UI thread reads it for the balloon; the next scan clears it. Nothing of
// it is written anywhere else.
class CSlotFailures {
public:
    void Set(int nSlot, const SlotFailure& failure)
    {
        if (nSlot < 0 || nSlot >= SLOT_FAILURE_SLOTS)
            return;
        std::lock_guard<std::mutex> lock(m_mutex);
        m_failures[static_cast<size_t>(nSlot)] = failure;
    }
    SlotFailure Get(int nSlot) const
    {
        if (nSlot < 0 || nSlot >= SLOT_FAILURE_SLOTS)
            return {};
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_failures[static_cast<size_t>(nSlot)];
    }
    void Clear()
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_failures.fill(SlotFailure{});
    }

private:
    mutable std::mutex m_mutex;
    std::array<SlotFailure, SLOT_FAILURE_SLOTS> m_failures{};
};
