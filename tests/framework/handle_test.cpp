#include <gtest/gtest.h>

#include <memory>
#include <thread>
#include <utility>

#include "base/win32/com_owner_win32.h"
#include "base/win32/handles_win32.h"

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

TEST(UniqueHandle, PutEmptiesTheOwnerForTheNewHandle)
{
    HANDLE hFirst = NewEvent();
    HANDLE hSource = NewEvent();
    CUniqueKernelHandle owner(hFirst);

    // The old handle is closed before the API writes the new one, and an API
    // that fails without writing leaves the owner empty.
    HANDLE* pSlot = owner.put();
    EXPECT_FALSE(IsOpen(hFirst));
    EXPECT_EQ(*pSlot, nullptr);
    EXPECT_FALSE(owner);

    ASSERT_TRUE(::DuplicateHandle(::GetCurrentProcess(), hSource, ::GetCurrentProcess(), pSlot, 0, FALSE,
                                  DUPLICATE_SAME_ACCESS));
    HANDLE hCopy = owner.get();
    EXPECT_NE(hCopy, nullptr);
    EXPECT_TRUE(IsOpen(hCopy));
    owner.reset();
    EXPECT_FALSE(IsOpen(hCopy));
    ::CloseHandle(hSource);

    // "None" is the traits' own value, not NULL.
    CUniqueFileHandle file;
    EXPECT_EQ(*file.put(), INVALID_HANDLE_VALUE);

    CUniqueRegKey key;
    ASSERT_EQ(::RegOpenKeyExW(HKEY_CURRENT_USER, L"Software", 0, KEY_READ, key.put()), ERROR_SUCCESS);
    EXPECT_TRUE(key);
}

TEST(UniqueHandle, FindHandlesTreatInvalidHandleValueAsEmpty)
{
    WIN32_FIND_DATAW data{};
    CUniqueFindHandle missing(::FindFirstFileW(L"Z:\\no\\such\\folder\\*", &data));
    EXPECT_FALSE(missing);
    EXPECT_EQ(CUniqueFindHandle().get(), INVALID_HANDLE_VALUE);

    CUniqueFindHandle found(::FindFirstFileW(L"C:\\windows\\*", &data));
    ASSERT_TRUE(found);
    EXPECT_TRUE(::FindNextFileW(found.get(), &data));
}

// Each case on a thread of its own, which starts without COM. Afterwards a
// CoInitializeEx of our own tells what the guards left: S_FALSE while the
// thread is still initialised, S_OK once it is not.
HRESULT ProbeComInit()
{
    const HRESULT hr = ::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    if (SUCCEEDED(hr))
        ::CoUninitialize();
    return hr;
}

TEST(ComInitGuard, GivesBackEveryReferenceItTook)
{
    HRESULT hrOuter = E_FAIL, hrInner = E_FAIL, hrAfterInner = E_FAIL, hrAfterOuter = E_FAIL;
    bool bInnerSucceeded = false;
    std::thread([&] {
        {
            CComInitGuard outer(COINIT_APARTMENTTHREADED);
            hrOuter = outer.result();
            {
                CComInitGuard inner(COINIT_APARTMENTTHREADED);
                hrInner = inner.result();
                bInnerSucceeded = inner.succeeded();
            }
            hrAfterInner = ProbeComInit();
        }
        hrAfterOuter = ProbeComInit();
    }).join();
    EXPECT_EQ(hrOuter, S_OK);
    EXPECT_EQ(hrInner, S_FALSE);
    EXPECT_TRUE(bInnerSucceeded);
    EXPECT_EQ(hrAfterInner, S_FALSE);   // the outer guard's reference remains
    EXPECT_EQ(hrAfterOuter, S_OK);      // and then none
}

TEST(ComInitGuard, ChangedModeTakesNothingAndGivesNothingBack)
{
    HRESULT hrOther = E_FAIL, hrAfterOther = E_FAIL;
    bool bOtherSucceeded = true;
    std::thread([&] {
        CComInitGuard apartment(COINIT_APARTMENTTHREADED);
        {
            CComInitGuard other(COINIT_MULTITHREADED);
            hrOther = other.result();
            bOtherSucceeded = other.succeeded();
        }
        hrAfterOther = ProbeComInit();
    }).join();
    EXPECT_EQ(hrOther, RPC_E_CHANGED_MODE);
    EXPECT_FALSE(bOtherSucceeded);
    EXPECT_EQ(hrAfterOther, S_FALSE);   // the apartment is still there
}

} // namespace
