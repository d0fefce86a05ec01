#include "services/win32/firewall_com_win32.h"

#include <windows.h>
#include <objbase.h>
// The firewall's class and interface identifiers are defined here, once.
#include <initguid.h>
#include <netfw.h>

#include "base/win32/com_owner_win32.h"

namespace {

class CWin32FirewallString : public IFirewallString {
public:
    explicit CWin32FirewallString(const std::wstring& strText) : m_bstr(strText.c_str()) {}
    BSTR get() const { return m_bstr.get(); }
    bool valid() const { return static_cast<bool>(m_bstr); }

private:
    CUniqueBstr m_bstr;
};

BSTR BstrOf(const IFirewallString& string)
{
    // Every string the firewall calls see was made by CWin32FirewallCom.
    return static_cast<const CWin32FirewallString&>(string).get();
}

class CWin32FirewallApp : public IFirewallApp {
public:
    explicit CWin32FirewallApp(CComOwner<INetFwAuthorizedApplication> pApp) : m_pApp(std::move(pApp)) {}

    bool GetEnabled(bool& bEnabled) override
    {
        VARIANT_BOOL enabled = VARIANT_FALSE;
        if (FAILED(m_pApp->get_Enabled(&enabled)))
            return false;
        bEnabled = enabled != VARIANT_FALSE;
        return true;
    }
    bool PutProcessImageFileName(const IFirewallString& path) override
    {
        return SUCCEEDED(m_pApp->put_ProcessImageFileName(BstrOf(path)));
    }
    bool PutName(const IFirewallString& name) override { return SUCCEEDED(m_pApp->put_Name(BstrOf(name))); }

    INetFwAuthorizedApplication* get() const { return m_pApp.get(); }

private:
    CComOwner<INetFwAuthorizedApplication> m_pApp;
};

class CWin32FirewallAppList : public IFirewallAppList {
public:
    explicit CWin32FirewallAppList(CComOwner<INetFwAuthorizedApplications> pList) : m_pList(std::move(pList)) {}

    bool Item(const IFirewallString& path, std::unique_ptr<IFirewallApp>& pApp) override
    {
        CComOwner<INetFwAuthorizedApplication> pItem;
        if (FAILED(m_pList->Item(BstrOf(path), pItem.put())) || !pItem)
            return false;
        pApp = std::make_unique<CWin32FirewallApp>(std::move(pItem));
        return true;
    }
    bool Add(IFirewallApp& app) override
    {
        // Apps come from CWin32FirewallCom, as this list does.
        return SUCCEEDED(m_pList->Add(static_cast<CWin32FirewallApp&>(app).get()));
    }

private:
    CComOwner<INetFwAuthorizedApplications> m_pList;
};

class CWin32FirewallProfile : public IFirewallProfile {
public:
    explicit CWin32FirewallProfile(CComOwner<INetFwProfile> pProfile) : m_pProfile(std::move(pProfile)) {}

    bool GetFirewallEnabled(bool& bEnabled) override
    {
        VARIANT_BOOL enabled = VARIANT_FALSE;
        if (FAILED(m_pProfile->get_FirewallEnabled(&enabled)))
            return false;
        bEnabled = enabled != VARIANT_FALSE;
        return true;
    }
    bool PutFirewallEnabled(bool bEnabled) override
    {
        return SUCCEEDED(m_pProfile->put_FirewallEnabled(bEnabled ? VARIANT_TRUE : VARIANT_FALSE));
    }
    bool PutExceptionsNotAllowed(bool bNotAllowed) override
    {
        return SUCCEEDED(m_pProfile->put_ExceptionsNotAllowed(bNotAllowed ? VARIANT_TRUE : VARIANT_FALSE));
    }
    bool GetAuthorizedApplications(std::unique_ptr<IFirewallAppList>& pList) override
    {
        CComOwner<INetFwAuthorizedApplications> pApps;
        if (FAILED(m_pProfile->get_AuthorizedApplications(pApps.put())) || !pApps)
            return false;
        pList = std::make_unique<CWin32FirewallAppList>(std::move(pApps));
        return true;
    }

private:
    CComOwner<INetFwProfile> m_pProfile;
};

class CWin32FirewallPolicy : public IFirewallPolicy {
public:
    explicit CWin32FirewallPolicy(CComOwner<INetFwPolicy> pPolicy) : m_pPolicy(std::move(pPolicy)) {}

    bool GetCurrentProfile(std::unique_ptr<IFirewallProfile>& pProfile) override
    {
        CComOwner<INetFwProfile> pCurrent;
        if (FAILED(m_pPolicy->get_CurrentProfile(pCurrent.put())) || !pCurrent)
            return false;
        pProfile = std::make_unique<CWin32FirewallProfile>(std::move(pCurrent));
        return true;
    }

private:
    CComOwner<INetFwPolicy> m_pPolicy;
};

class CWin32FirewallManager : public IFirewallManager {
public:
    explicit CWin32FirewallManager(CComOwner<INetFwMgr> pManager) : m_pManager(std::move(pManager)) {}

    bool GetLocalPolicy(std::unique_ptr<IFirewallPolicy>& pPolicy) override
    {
        CComOwner<INetFwPolicy> pLocal;
        if (FAILED(m_pManager->get_LocalPolicy(pLocal.put())) || !pLocal)
            return false;
        pPolicy = std::make_unique<CWin32FirewallPolicy>(std::move(pLocal));
        return true;
    }

private:
    CComOwner<INetFwMgr> m_pManager;
};

}  // namespace

FirewallComInit CWin32FirewallCom::Initialise()
{
    const HRESULT hr = ::CoInitializeEx(nullptr, COM_INIT_SHELL_APARTMENT);
    if (hr == S_OK)
        return FW_COM_INIT_OK;
    if (hr == S_FALSE)
        return FW_COM_INIT_ALREADY_INITIALISED;
    if (hr == RPC_E_CHANGED_MODE)
        return FW_COM_INIT_CHANGED_MODE;
    return SUCCEEDED(hr) ? FW_COM_INIT_OK : FW_COM_INIT_FAILED;
}

void CWin32FirewallCom::Uninitialise()
{
    ::CoUninitialize();
}

bool CWin32FirewallCom::CreateManager(std::unique_ptr<IFirewallManager>& pManager)
{
    CComOwner<INetFwMgr> pMgr;
    if (FAILED(::CoCreateInstance(CLSID_NetFwMgr, nullptr, CLSCTX_INPROC_SERVER, IID_INetFwMgr, pMgr.put_void()))
        || !pMgr)
        return false;
    pManager = std::make_unique<CWin32FirewallManager>(std::move(pMgr));
    return true;
}

bool CWin32FirewallCom::CreateAuthorizedApp(std::unique_ptr<IFirewallApp>& pApp)
{
    CComOwner<INetFwAuthorizedApplication> pNew;
    if (FAILED(::CoCreateInstance(CLSID_NetFwAuthorizedApplication, nullptr, CLSCTX_INPROC_SERVER,
                                  IID_INetFwAuthorizedApplication, pNew.put_void()))
        || !pNew)
        return false;
    pApp = std::make_unique<CWin32FirewallApp>(std::move(pNew));
    return true;
}

bool CWin32FirewallCom::MakeString(const std::wstring& strText, std::unique_ptr<IFirewallString>& pString)
{
    auto pNew = std::make_unique<CWin32FirewallString>(strText);
    if (!pNew->valid())
        return false;
    pString = std::move(pNew);
    return true;
}
