#pragma once
// Slot views that keep their state in memory, for driving the core without windows.

#include <array>
#include <string>

#include "engine/drive_slot_table.h"
#include "platform/slot_views.h"

class CMemoryTextView : public ITextView {
public:
    void SetText(const std::wstring& strText) override { m_strText = strText; }
    std::wstring GetText() const override { return m_strText; }

private:
    std::wstring m_strText;
};

class CMemoryProgressView : public IProgressView {
public:
    void SetPos(int nPos) override { m_nPos = nPos; }
    int GetPos() const override { return m_nPos; }

private:
    int m_nPos = 0;
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
