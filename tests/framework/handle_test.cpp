#include <gtest/gtest.h>

#include <memory>
#include <utility>

#include "framework/afx_handle.h"

namespace {

HANDLE NewEvent()
{
    return ::CreateEventW(nullptr, TRUE, FALSE, nullptr);
}

bool IsOpen(HANDLE h)
{
    DWORD dwFlags = 0;
    return ::GetHandleInformation(h, &dwFlags) != FALSE;
}

// A handle value that was open a moment ago and is closed now: closing it
// again fails and sets ERROR_INVALID_HANDLE, which is what the owner must
// hide from its caller.
HANDLE ClosedHandle()
{
    HANDLE h = NewEvent();
    ::CloseHandle(h);
    return h;
}

TEST(UniqueHandle, FileHandlesTreatInvalidHandleValueAsEmpty)
{
    // A failed CreateFileW must not look like an open file, nor be closed.
    CUniqueFileHandle missing(::CreateFileW(L"Z:\\no\\such\\file.bin", GENERIC_READ, 0, nullptr, OPEN_EXISTING,
                                            FILE_ATTRIBUTE_NORMAL, nullptr));
    EXPECT_FALSE(missing);
    EXPECT_EQ(CUniqueFileHandle().get(), INVALID_HANDLE_VALUE);
}

TEST(UniqueHandle, MoveTransfersOwnershipAndClosesOnce)
{
    HANDLE hEvent = NewEvent();
    ASSERT_NE(hEvent, nullptr);
    {
        CUniqueKernelHandle first(hEvent);
        CUniqueKernelHandle second(std::move(first));
        EXPECT_FALSE(first);
        EXPECT_EQ(second.get(), hEvent);

        CUniqueKernelHandle third;
        third = std::move(second);
        EXPECT_FALSE(second);
        EXPECT_EQ(third.get(), hEvent);
        EXPECT_TRUE(IsOpen(hEvent));

        // Taking another handle closes the one held before.
        HANDLE hOther = NewEvent();
        CUniqueKernelHandle other(hOther);
        other = std::move(third);
        EXPECT_FALSE(IsOpen(hOther));
    }
    EXPECT_FALSE(IsOpen(hEvent));
}

TEST(UniqueHandle, ReleaseAndResetToSameHandle)
{
    HANDLE hEvent = NewEvent();
    CUniqueKernelHandle owner(hEvent);
    owner.reset(hEvent);
    EXPECT_TRUE(IsOpen(hEvent));
    EXPECT_EQ(owner.get(), hEvent);

    EXPECT_EQ(owner.release(), hEvent);
    EXPECT_FALSE(owner);
    owner.reset();
    EXPECT_TRUE(IsOpen(hEvent));
    ::CloseHandle(hEvent);
}

TEST(UniqueHandle, CleanupKeepsLastError)
{
    {
        CUniqueKernelHandle owner(ClosedHandle());
        ::SetLastError(ERROR_FILE_NOT_FOUND);
        owner.reset();
        EXPECT_EQ(::GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
    }
    {
        auto owner = std::make_unique<CUniqueKernelHandle>(ClosedHandle());
        ::SetLastError(ERROR_ACCESS_DENIED);
        owner.reset();
        EXPECT_EQ(::GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
    }
    {
        // The check is only meaningful if the failing close does change it.
        ::SetLastError(ERROR_ACCESS_DENIED);
        ::CloseHandle(ClosedHandle());
        EXPECT_NE(::GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
    }
}

} // namespace
