#pragma once
// Slot views that keep their state in memory, for driving the core without
// windows. Workers write them from their own threads while a test reads, so
// each guards itself; the bar also keeps every position it was set to.

#include <array>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include "engine/drive_slot_table.h"
#include "platform/slot_views.h"

class CMemoryTextView : public ITextView {
public:
    void SetText(const std::wstring& strText) override
    {
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            m_strText = strText;
        }
        if (m_onSet)
            m_onSet(strText);
    }
    std::wstring GetText() const override
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_strText;
    }

    // Runs on the writer's thread after each write; set before the run.
    std::function<void(const std::wstring&)> m_onSet;

private:
    mutable std::mutex m_mutex;
    std::wstring m_strText;
};

class CMemoryProgressView : public IProgressView {
public:
    void SetPos(int nPos) override
    {
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            m_nPos = nPos;
            m_history.push_back(nPos);
        }
        if (m_onSet)
            m_onSet(nPos);
    }
    int GetPos() const override
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_nPos;
    }
    // Every position set since the last ClearHistory, in order.
    std::vector<int> History() const
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_history;
    }
    void ClearHistory()
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_history.clear();
    }

    // Runs on the writer's thread after each write; set before the run.
    std::function<void(int)> m_onSet;

private:
    mutable std::mutex m_mutex;
    int m_nPos = 0;
    std::vector<int> m_history;
};

struct CMemorySlots {
    std::array<CMemoryTextView, MAX_DRIVE_SLOTS> letters;
    std::array<CMemoryProgressView, MAX_DRIVE_SLOTS> bars;
    std::array<CMemoryTextView, MAX_DRIVE_SLOTS> statuses;

    void BindTo(CDriveSlotTable& table)
    {
        for (int i = 0; i < MAX_DRIVE_SLOTS; ++i)
            table.BindSlot(i, letters[i], bars[i], statuses[i]);
    }
};
