#include <gtest/gtest.h>

#include <vector>

#include "framework/afx_msgmap.h"

namespace {

struct CRecorder {
    std::vector<int> calls;

    LRESULT OnSize(WPARAM wParam, LPARAM) { calls.push_back(1); return static_cast<LRESULT>(wParam) * 2; }
    LRESULT OnSizeAgain(WPARAM, LPARAM) { calls.push_back(2); return -1; }
    void OnStart() { calls.push_back(3); }
    void OnStartChanged() { calls.push_back(4); }
    LRESULT OnAnyCommand(WPARAM, LPARAM) { calls.push_back(7); return 0; }
};

using Entry = CMessageMapEntry<CRecorder>;

constexpr Entry kRecorderMap[] = {
    MapMessage<CRecorder>(WM_SIZE, &CRecorder::OnSize),
    MapCommand<CRecorder>(BN_CLICKED, 10, &CRecorder::OnStart),
    MapCommand<CRecorder>(EN_CHANGE, 10, &CRecorder::OnStartChanged),
    MapCommand<CRecorder>(BN_CLICKED, 11, &CRecorder::OnStartChanged),
};
static_assert(!HasDuplicateEntries(kRecorderMap), "same notification from other ids, other notifications from one id");

constexpr Entry kSameMessageTwice[] = {
    MapMessage<CRecorder>(WM_SIZE, &CRecorder::OnSize),
    MapMessage<CRecorder>(WM_SIZE, &CRecorder::OnSizeAgain),
};
static_assert(HasDuplicateEntries(kSameMessageTwice));

constexpr Entry kSameCommandTwice[] = {
    MapCommand<CRecorder>(BN_CLICKED, 10, &CRecorder::OnStart),
    MapCommand<CRecorder>(BN_CLICKED, 10, &CRecorder::OnStartChanged),
};
static_assert(HasDuplicateEntries(kSameCommandTwice));

// A raw WM_COMMAND entry takes every command, so it hides any command entry.
constexpr Entry kCatchAllBesideACommand[] = {
    MapCommand<CRecorder>(EN_CHANGE, 7, &CRecorder::OnStartChanged),
    MapMessage<CRecorder>(WM_COMMAND, &CRecorder::OnAnyCommand),
};
static_assert(HasDuplicateEntries(kCatchAllBesideACommand));

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
    EXPECT_FALSE(Dispatch(recorder, WM_COMMAND, MAKEWPARAM(12, BN_CLICKED), lResult));
    // Command entries answer WM_COMMAND only, whatever the other message carries.
    EXPECT_FALSE(Dispatch(recorder, WM_NOTIFY, MAKEWPARAM(10, BN_CLICKED), lResult));
    EXPECT_EQ(recorder.calls, (std::vector<int>{3, 4}));
}

} // namespace
