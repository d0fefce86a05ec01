// The real firewall registration under Wine, whose firewall objects are
// mostly stubs: whatever they answer, the call returns one of its codes and
// leaves the thread's COM as it found it.

#include "services/win32/firewall_exception_win32.h"

#include <windows.h>
#include <objbase.h>

#include <set>

#include <gtest/gtest.h>

#include "support/com_probe_win32.h"

namespace {

const std::set<int> kCodes = {1, 0, -1, -2, -50, -51, -52, -53, -55, -56, -57, -58};

TEST(FirewallExceptionWin32Test, ReturnsACodeAndLeavesComAsItFoundIt)
{
    const int nFresh = AddFirewallException(L"CORVANTIS USB Copy");
    RecordProperty("wine_result_without_com", nFresh);
    EXPECT_EQ(1u, kCodes.count(nFresh)) << nFresh;
    EXPECT_EQ(S_OK, ProbeApartment()) << "COM was left initialised";

    ASSERT_EQ(S_OK, CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED));
    const int nSame = AddFirewallException(L"CORVANTIS USB Copy");
    EXPECT_EQ(1u, kCodes.count(nSame)) << nSame;
    EXPECT_EQ(S_FALSE, ProbeApartment()) << "the caller's own COM was taken away";
    CoUninitialize();

    ASSERT_EQ(S_OK, CoInitializeEx(nullptr, COINIT_MULTITHREADED));
    const int nOther = AddFirewallException(L"CORVANTIS USB Copy");
    RecordProperty("wine_result_in_mta", nOther);
    EXPECT_EQ(1u, kCodes.count(nOther)) << nOther;
    EXPECT_EQ(RPC_E_CHANGED_MODE, ProbeApartment()) << "the multithreaded apartment was given up";
    CoUninitialize();
    EXPECT_EQ(S_OK, ProbeApartment());
}

}  // namespace
