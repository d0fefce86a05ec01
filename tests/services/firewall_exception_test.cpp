// Firewall registration over a fake of the firewall's COM objects that records
// every call, release included, and can fail any one of them.

#include "services/firewall_exception.h"

#include <algorithm>
#include <set>
#include <string>
#include <vector>

#include <gtest/gtest.h>

namespace {

using Calls = std::vector<std::string>;

std::string Narrow(const std::wstring& str)
{
    return std::string(str.begin(), str.end());
}

class CFakeFirewall : public IFirewallCom {
public:
    // The call is recorded; false when the test made it fail.
    bool Step(const std::string& strCall)
    {
        m_calls.push_back(strCall);
        return m_failing.count(strCall) == 0;
    }

    struct CTracked {
        CTracked(CFakeFirewall& fake, std::string strKind) : m_fake(fake), m_strKind(std::move(strKind))
        {
            ++m_fake.m_nAlive;
        }
        virtual ~CTracked()
        {
            --m_fake.m_nAlive;
            m_fake.m_calls.push_back("release " + m_strKind);
        }
        CFakeFirewall& m_fake;
        std::string m_strKind;
    };

    struct CString : IFirewallString, CTracked {
        CString(CFakeFirewall& fake, const std::wstring& str) : CTracked(fake, "string " + Narrow(str)), m_str(Narrow(str)) {}
        std::string m_str;
    };
    static const std::string& Text(const IFirewallString& string) { return static_cast<const CString&>(string).m_str; }

    struct CApp : IFirewallApp, CTracked {
        CApp(CFakeFirewall& fake, bool bEnabled) : CTracked(fake, "app"), m_bEnabled(bEnabled) {}
        bool GetEnabled(bool& bEnabled) override
        {
            bEnabled = m_bEnabled;
            return m_fake.Step("get_Enabled");
        }
        bool PutProcessImageFileName(const IFirewallString& path) override
        {
            return m_fake.Step("put_ProcessImageFileName " + Text(path));
        }
        bool PutName(const IFirewallString& name) override { return m_fake.Step("put_Name " + Text(name)); }
        bool m_bEnabled;
    };

    struct CList : IFirewallAppList, CTracked {
        explicit CList(CFakeFirewall& fake) : CTracked(fake, "list") {}
        bool Item(const IFirewallString& path, std::unique_ptr<IFirewallApp>& pApp) override
        {
            if (!m_fake.Step("Item " + Text(path)) || !m_fake.m_bListed)
                return false;
            pApp = std::make_unique<CApp>(m_fake, m_fake.m_bEntryEnabled);
            return true;
        }
        bool Add(IFirewallApp&) override { return m_fake.Step("Add"); }
    };

    struct CProfile : IFirewallProfile, CTracked {
        explicit CProfile(CFakeFirewall& fake) : CTracked(fake, "profile") {}
        bool GetFirewallEnabled(bool& bEnabled) override
        {
            bEnabled = m_fake.m_bFirewallOn;
            return m_fake.Step("get_FirewallEnabled");
        }
        bool PutFirewallEnabled(bool bEnabled) override
        {
            return m_fake.Step(std::string("put_FirewallEnabled ") + (bEnabled ? "true" : "false"));
        }
        bool PutExceptionsNotAllowed(bool bNotAllowed) override
        {
            return m_fake.Step(std::string("put_ExceptionsNotAllowed ") + (bNotAllowed ? "true" : "false"));
        }
        bool GetAuthorizedApplications(std::unique_ptr<IFirewallAppList>& pList) override
        {
            if (!m_fake.Step("get_AuthorizedApplications"))
                return false;
            pList = std::make_unique<CList>(m_fake);
            return true;
        }
    };

    struct CPolicy : IFirewallPolicy, CTracked {
        explicit CPolicy(CFakeFirewall& fake) : CTracked(fake, "policy") {}
        bool GetCurrentProfile(std::unique_ptr<IFirewallProfile>& pProfile) override
        {
            if (!m_fake.Step("get_CurrentProfile"))
                return false;
            pProfile = std::make_unique<CProfile>(m_fake);
            return true;
        }
    };

    struct CManager : IFirewallManager, CTracked {
        explicit CManager(CFakeFirewall& fake) : CTracked(fake, "manager") {}
        bool GetLocalPolicy(std::unique_ptr<IFirewallPolicy>& pPolicy) override
        {
            if (!m_fake.Step("get_LocalPolicy"))
                return false;
            pPolicy = std::make_unique<CPolicy>(m_fake);
            return true;
        }
    };

    FirewallComInit Initialise() override
    {
        return Step("CoInitializeEx") ? m_init : FW_COM_INIT_FAILED;
    }
    void Uninitialise() override { Step("CoUninitialize"); }
    bool CreateManager(std::unique_ptr<IFirewallManager>& pManager) override
    {
        if (!Step("create NetFwMgr"))
            return false;
        pManager = std::make_unique<CManager>(*this);
        return true;
    }
    bool CreateAuthorizedApp(std::unique_ptr<IFirewallApp>& pApp) override
    {
        if (!Step("create NetFwAuthorizedApplication"))
            return false;
        pApp = std::make_unique<CApp>(*this, true);
        return true;
    }
    bool MakeString(const std::wstring& strText, std::unique_ptr<IFirewallString>& pString) override
    {
        if (!Step("SysAllocString " + Narrow(strText)))
            return false;
        pString = std::make_unique<CString>(*this, strText);
        return true;
    }

    int Count(const std::string& strCall) const
    {
        return static_cast<int>(std::count(m_calls.begin(), m_calls.end(), strCall));
    }

    Calls m_calls;
    std::set<std::string> m_failing;
    FirewallComInit m_init = FW_COM_INIT_OK;
    bool m_bFirewallOn = false;
    bool m_bListed = false;
    bool m_bEntryEnabled = true;
    int m_nAlive = 0;
};

const wchar_t kExe[] = L"C:\\Tools\\CorvantisUsbCopy.exe";

int Register(CFakeFirewall& fake, const std::wstring& strExe = kExe, const wchar_t* pszName = L"CORVANTIS USB Copy")
{
    return AddFirewallExceptionFor(fake, strExe, pszName);
}

TEST(FirewallExceptionTest, FirewallOffAddsTheProgramWithoutTouchingTheFirewallAndReleasesEverything)
{
    CFakeFirewall fake;
    EXPECT_EQ(1, Register(fake));
    const Calls lookup = {"get_AuthorizedApplications", "SysAllocString C:\\Tools\\CorvantisUsbCopy.exe",
                          "Item C:\\Tools\\CorvantisUsbCopy.exe", "release string C:\\Tools\\CorvantisUsbCopy.exe",
                          "release list"};
    Calls expected = {"CoInitializeEx", "create NetFwMgr", "get_LocalPolicy", "get_CurrentProfile", "release policy",
                      "release manager", "get_FirewallEnabled"};
    expected.insert(expected.end(), lookup.begin(), lookup.end());
    expected.insert(expected.end(),
                    {"get_AuthorizedApplications", "create NetFwAuthorizedApplication",
                     "SysAllocString C:\\Tools\\CorvantisUsbCopy.exe",
                     "put_ProcessImageFileName C:\\Tools\\CorvantisUsbCopy.exe", "SysAllocString CORVANTIS USB Copy",
                     "put_Name CORVANTIS USB Copy", "Add", "release string CORVANTIS USB Copy",
                     "release string C:\\Tools\\CorvantisUsbCopy.exe", "release app", "release list",
                     "release profile", "CoUninitialize"});
    EXPECT_EQ(expected, fake.m_calls);
    EXPECT_EQ(0, fake.m_nAlive);
}

TEST(FirewallExceptionTest, StateOfTheFirewallAndOfTheEntryDecidesWhatChanges)
{
    struct Case {
        const char* pszWhat;
        bool bOn, bListed, bEnabled;
        int nSwitchedOn, nAdded;
    };
    for (const Case& c : {Case{"on, exceptions forbidden", true, false, false, 1, 1},
                          Case{"listed and enabled", false, true, true, 0, 0},
                          Case{"on, listed and enabled", true, true, true, 1, 0},
                          Case{"listed but disabled", false, true, false, 0, 1}}) {
        CFakeFirewall fake;
        fake.m_bFirewallOn = c.bOn;
        fake.m_bListed = c.bListed;
        fake.m_bEntryEnabled = c.bEnabled;
        EXPECT_EQ(1, Register(fake)) << c.pszWhat;
        EXPECT_EQ(c.nSwitchedOn, fake.Count("put_FirewallEnabled true")) << c.pszWhat;
        EXPECT_EQ(c.nSwitchedOn, fake.Count("put_ExceptionsNotAllowed false")) << c.pszWhat;
        EXPECT_EQ(c.nAdded, fake.Count("Add")) << c.pszWhat;
        EXPECT_EQ(c.nAdded, fake.Count("create NetFwAuthorizedApplication")) << c.pszWhat;
        EXPECT_EQ(0, fake.m_nAlive) << c.pszWhat;
    }
}

TEST(FirewallExceptionTest, EachFailingStepEndsWithItsCodeReleasedAndBalanced)
{
    struct Case {
        const char* pszFailing;
        int nExpected;
    };
    for (const Case& c : {Case{"CoInitializeEx", -51}, Case{"create NetFwMgr", -50}, Case{"get_LocalPolicy", -58},
                          Case{"get_CurrentProfile", -57}, Case{"get_FirewallEnabled", -52},
                          Case{"put_FirewallEnabled true", -52}, Case{"put_ExceptionsNotAllowed false", -53},
                          Case{"get_AuthorizedApplications", -55},
                          Case{"SysAllocString C:\\Tools\\CorvantisUsbCopy.exe", -2}, Case{"get_Enabled", -55},
                          Case{"create NetFwAuthorizedApplication", -55},
                          Case{"put_ProcessImageFileName C:\\Tools\\CorvantisUsbCopy.exe", -56},
                          Case{"SysAllocString CORVANTIS USB Copy", -2}, Case{"put_Name CORVANTIS USB Copy", -56},
                          Case{"Add", -56}}) {
        CFakeFirewall fake;
        fake.m_bFirewallOn = true;
        // get_Enabled is only asked of a listed entry; a disabled one is added again.
        fake.m_bListed = std::string(c.pszFailing) == "get_Enabled";
        fake.m_bEntryEnabled = false;
        fake.m_failing.insert(c.pszFailing);
        EXPECT_EQ(c.nExpected, Register(fake)) << c.pszFailing;
        EXPECT_EQ(0, fake.m_nAlive) << c.pszFailing;
        const int nInitialised = c.nExpected == -51 ? 0 : 1;
        EXPECT_EQ(nInitialised, fake.Count("CoUninitialize")) << c.pszFailing;
        if (nInitialised == 1) {
            EXPECT_EQ("CoUninitialize", fake.m_calls.back()) << "COM outlives an interface: " << c.pszFailing;
        }
    }
}

TEST(FirewallExceptionTest, ComInitialisedBeforeIsBalancedOnlyWhenThisCallTookAReference)
{
    for (auto [init, nUninitialise] : {std::pair{FW_COM_INIT_ALREADY_INITIALISED, 1}, std::pair{FW_COM_INIT_CHANGED_MODE, 0}}) {
        CFakeFirewall fake;
        fake.m_init = init;
        EXPECT_EQ(1, Register(fake)) << init;
        EXPECT_EQ(nUninitialise, fake.Count("CoUninitialize")) << init;
    }
}

TEST(FirewallExceptionTest, EmptyPathAndEmptyOrMissingNames)
{
    CFakeFirewall noPath;
    EXPECT_EQ(0, Register(noPath, L""));
    EXPECT_EQ(0, noPath.Count("get_AuthorizedApplications")) << "no application work without a path";
    EXPECT_EQ(1, noPath.Count("CoUninitialize"));

    CFakeFirewall emptyName;
    EXPECT_EQ(-2, Register(emptyName, kExe, L""));
    EXPECT_EQ(0, emptyName.Count("Add"));
    EXPECT_EQ(0, emptyName.m_nAlive);

    CFakeFirewall missingName;
    EXPECT_EQ(-1, Register(missingName, kExe, nullptr));
}

TEST(FirewallContextTest, OperationsWithoutAProfileOrArgumentsRefuse)
{
    CFakeFirewall fake;
    FirewallContext context(fake);
    int nOut = 7;
    EXPECT_EQ(-50, context.IsFirewallOn(&nOut));
    EXPECT_EQ(0, nOut);
    EXPECT_EQ(-50, context.AllowFirewallExceptions());
    EXPECT_EQ(-1, context.IsAppAllowed(nullptr, &nOut));
    EXPECT_EQ(-1, context.IsAppAllowed(kExe, nullptr));
    EXPECT_EQ(-50, context.IsAppAllowed(kExe, &nOut));
    EXPECT_EQ(-1, context.AllowApp(kExe, nullptr));
    EXPECT_EQ(-50, context.AllowApp(kExe, L"CORVANTIS USB Copy"));
    EXPECT_TRUE(fake.m_calls.empty()) << "nothing is asked of the firewall";

    // Opening twice initialises and fetches once; closing twice balances once.
    EXPECT_EQ(0, context.OpenFirewall());
    EXPECT_EQ(0, context.OpenFirewall());
    context.CloseFirewall();
    context.CloseFirewall();
    EXPECT_EQ(1, fake.Count("CoInitializeEx"));
    EXPECT_EQ(1, fake.Count("get_CurrentProfile"));
    EXPECT_EQ(1, fake.Count("CoUninitialize"));
    EXPECT_EQ(0, fake.m_nAlive);
}

}  // namespace
