#include <gtest/gtest.h>

#include <array>
#include <vector>

#include "framework/afx_msgmap.h"

namespace {

constexpr UINT ID_FIRST = 100;
constexpr UINT ID_LAST = 121;

struct CRecorder {
    std::vector<int> calls;
    UINT nLastId = 0;

    LRESULT OnSize(WPARAM wParam, LPARAM) { calls.push_back(1); return static_cast<LRESULT>(wParam) * 2; }
    LRESULT OnSizeAgain(WPARAM, LPARAM) { calls.push_back(2); return -1; }
    void OnStart() { calls.push_back(3); }
    void OnStartChanged() { calls.push_back(4); }
    void OnSlot(UINT nId) { calls.push_back(5); nLastId = nId; }
    void OnRange() { calls.push_back(6); }
    LRESULT OnAnyCommand(WPARAM, LPARAM) { calls.push_back(7); return 0; }
};

using Entry = CMessageMapEntry<CRecorder>;

constexpr Entry kRecorderMap[] = {
    MapMessage<CRecorder>(WM_SIZE, &CRecorder::OnSize),
    MapCommand<CRecorder>(BN_CLICKED, 10, &CRecorder::OnStart),
    MapCommand<CRecorder>(EN_CHANGE, 10, &CRecorder::OnStartChanged),
    MapCommandRange<CRecorder>(BN_CLICKED, ID_FIRST, ID_LAST, &CRecorder::OnSlot),
    MapCommandRange<CRecorder>(BN_CLICKED, ID_LAST + 1, ID_LAST + 5, &CRecorder::OnRange),
};
static_assert(!HasDuplicateEntries(kRecorderMap));

// Same notification, different ids; same id, different notifications;
// ranges that touch without overlapping.
static_assert(!HasDuplicateEntries(std::array<Entry, 3>{
    MapCommand<CRecorder>(BN_CLICKED, 1, &CRecorder::OnStart),
    MapCommand<CRecorder>(BN_CLICKED, 2, &CRecorder::OnStart),
    MapCommand<CRecorder>(EN_CHANGE, 1, &CRecorder::OnStartChanged),
}));
static_assert(!HasDuplicateEntries(std::array<Entry, 2>{
    MapCommandRange<CRecorder>(BN_CLICKED, 1, 5, &CRecorder::OnRange),
    MapCommandRange<CRecorder>(BN_CLICKED, 6, 9, &CRecorder::OnRange),
}));

// Same message twice; a single id inside a range; ranges sharing one end;
// a catch-all WM_COMMAND entry next to any command; an empty range.
static_assert(HasDuplicateEntries(std::array<Entry, 2>{
    MapMessage<CRecorder>(WM_SIZE, &CRecorder::OnSize),
    MapMessage<CRecorder>(WM_SIZE, &CRecorder::OnSizeAgain),
}));
static_assert(HasDuplicateEntries(std::array<Entry, 2>{
    MapCommandRange<CRecorder>(BN_CLICKED, ID_FIRST, ID_LAST, &CRecorder::OnSlot),
    MapCommand<CRecorder>(BN_CLICKED, ID_LAST, &CRecorder::OnStart),
}));
static_assert(HasDuplicateEntries(std::array<Entry, 2>{
    MapCommandRange<CRecorder>(BN_CLICKED, 1, 5, &CRecorder::OnRange),
    MapCommandRange<CRecorder>(BN_CLICKED, 5, 9, &CRecorder::OnRange),
}));
static_assert(HasDuplicateEntries(std::array<Entry, 2>{
    MapCommand<CRecorder>(EN_CHANGE, 7, &CRecorder::OnStartChanged),
    MapMessage<CRecorder>(WM_COMMAND, &CRecorder::OnAnyCommand),
}));
static_assert(HasDuplicateEntries(std::array<Entry, 1>{
    MapCommandRange<CRecorder>(BN_CLICKED, 9, 5, &CRecorder::OnRange),
}));

bool Dispatch(CRecorder& recorder, UINT nMsg, WPARAM wParam, LRESULT& lResult)
{
    return DispatchMessageMap(recorder, kRecorderMap, nMsg, wParam, 0, lResult);
}

TEST(MessageMap, DispatchesMessagesWithTheirResult)
{
    CRecorder recorder;
    LRESULT lResult = 0;
    EXPECT_TRUE(Dispatch(recorder, WM_SIZE, 21, lResult));
    EXPECT_EQ(lResult, 42);
    EXPECT_FALSE(Dispatch(recorder, WM_MOVE, 0, lResult));
    EXPECT_EQ(recorder.calls, std::vector<int>{1});
}

TEST(MessageMap, CommandsMatchOnNotificationAndId)
{
    CRecorder recorder;
    LRESULT lResult = -5;
    EXPECT_TRUE(Dispatch(recorder, WM_COMMAND, MAKEWPARAM(10, BN_CLICKED), lResult));
    EXPECT_EQ(lResult, 0);
    EXPECT_TRUE(Dispatch(recorder, WM_COMMAND, MAKEWPARAM(10, EN_CHANGE), lResult));
    EXPECT_FALSE(Dispatch(recorder, WM_COMMAND, MAKEWPARAM(10, EN_KILLFOCUS), lResult));
    EXPECT_FALSE(Dispatch(recorder, WM_COMMAND, MAKEWPARAM(11, BN_CLICKED), lResult));
    // Command entries answer WM_COMMAND only, whatever the other message carries.
    EXPECT_FALSE(Dispatch(recorder, WM_NOTIFY, MAKEWPARAM(10, BN_CLICKED), lResult));
    EXPECT_EQ(recorder.calls, (std::vector<int>{3, 4}));
}

TEST(MessageMap, RangesIncludeBothEndsAndPassTheId)
{
    CRecorder recorder;
    LRESULT lResult = 0;
    EXPECT_FALSE(Dispatch(recorder, WM_COMMAND, MAKEWPARAM(ID_FIRST - 1, BN_CLICKED), lResult));
    EXPECT_TRUE(Dispatch(recorder, WM_COMMAND, MAKEWPARAM(ID_FIRST, BN_CLICKED), lResult));
    EXPECT_EQ(recorder.nLastId, ID_FIRST);
    EXPECT_TRUE(Dispatch(recorder, WM_COMMAND, MAKEWPARAM(ID_LAST, BN_CLICKED), lResult));
    EXPECT_EQ(recorder.nLastId, ID_LAST);
    EXPECT_TRUE(Dispatch(recorder, WM_COMMAND, MAKEWPARAM(ID_LAST + 1, BN_CLICKED), lResult));
    EXPECT_TRUE(Dispatch(recorder, WM_COMMAND, MAKEWPARAM(ID_LAST + 5, BN_CLICKED), lResult));
    EXPECT_FALSE(Dispatch(recorder, WM_COMMAND, MAKEWPARAM(ID_LAST + 6, BN_CLICKED), lResult));
    EXPECT_EQ(recorder.calls, (std::vector<int>{5, 5, 6, 6}));
}

TEST(MessageMap, OverlapIsDetectedAndFirstEntryWins)
{
    const std::array<Entry, 3> overlapping{
        MapCommand<CRecorder>(BN_CLICKED, 3, &CRecorder::OnStart),
        MapCommandRange<CRecorder>(BN_CLICKED, 1, 8, &CRecorder::OnSlot),
        MapMessage<CRecorder>(WM_SIZE, &CRecorder::OnSize),
    };
    EXPECT_TRUE(HasDuplicateEntries(overlapping));

    CRecorder recorder;
    LRESULT lResult = 0;
    EXPECT_TRUE(DispatchMessageMap(recorder, overlapping, WM_COMMAND, MAKEWPARAM(3, BN_CLICKED), 0, lResult));
    EXPECT_TRUE(DispatchMessageMap(recorder, overlapping, WM_COMMAND, MAKEWPARAM(4, BN_CLICKED), 0, lResult));
    EXPECT_EQ(recorder.calls, (std::vector<int>{3, 5}));
    EXPECT_EQ(recorder.nLastId, 4u);

    const std::array<Entry, 2> distinct{
        MapCommand<CRecorder>(BN_CLICKED, 3, &CRecorder::OnStart),
        MapCommand<CRecorder>(BN_CLICKED, 4, &CRecorder::OnStart),
    };
    EXPECT_FALSE(HasDuplicateEntries(distinct));
}

} // namespace
