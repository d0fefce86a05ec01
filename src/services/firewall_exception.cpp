#include "services/firewall_exception.h"

int FirewallContext::OpenFirewall()
{
    if (m_nComInitialised == 0) {
        switch (m_com.Initialise()) {
        case FW_COM_INIT_OK:
        case FW_COM_INIT_ALREADY_INITIALISED:
            m_nComInitialised = 1;
            break;
        case FW_COM_INIT_CHANGED_MODE:
            // COM works in the thread's own model; balancing it would take
            // away a reference that belongs to whoever chose that model.
            break;
        case FW_COM_INIT_FAILED:
            return FW_E_COM_INIT;
        }
    }
    if (m_pProfile == nullptr) {
        std::unique_ptr<IFirewallManager> pManager;
        if (!m_com.CreateManager(pManager) || pManager == nullptr)
            return FW_E_NO_PROFILE;
        std::unique_ptr<IFirewallPolicy> pPolicy;
        if (!pManager->GetLocalPolicy(pPolicy) || pPolicy == nullptr)
            return FW_E_LOCAL_POLICY;
        std::unique_ptr<IFirewallProfile> pProfile;
        if (!pPolicy->GetCurrentProfile(pProfile) || pProfile == nullptr)
            return FW_E_CURRENT_PROFILE;
        m_pProfile = std::move(pProfile);
    }
    return 0;
}

int FirewallContext::IsFirewallOn(int* pnOn)
{
    if (pnOn == nullptr)
        return FW_E_MISSING_ARGUMENT;
    *pnOn = 0;
    if (m_pProfile == nullptr)
        return FW_E_NO_PROFILE;
    bool bEnabled = false;
    if (!m_pProfile->GetFirewallEnabled(bEnabled))
        return FW_E_FIREWALL_STATE;
    if (bEnabled)
        *pnOn = 1;
    return 0;
}

int FirewallContext::AllowFirewallExceptions()
{
    if (m_pProfile == nullptr)
        return FW_E_NO_PROFILE;
    if (!m_pProfile->PutFirewallEnabled(true))
        return FW_E_FIREWALL_STATE;
    if (!m_pProfile->PutExceptionsNotAllowed(false))
        return FW_E_EXCEPTIONS;
    return 0;
}

int FirewallContext::IsAppAllowed(const wchar_t* pszPath, int* pnAllowed)
{
    if (pszPath == nullptr || pnAllowed == nullptr)
        return FW_E_MISSING_ARGUMENT;
    *pnAllowed = 0;
    if (m_pProfile == nullptr)
        return FW_E_NO_PROFILE;
    std::unique_ptr<IFirewallAppList> pList;
    if (!m_pProfile->GetAuthorizedApplications(pList) || pList == nullptr)
        return FW_E_APP_LIST;
    std::unique_ptr<IFirewallString> pPath;
    if (!m_com.MakeString(pszPath, pPath) || pPath == nullptr)
        return FW_E_STRING;
    std::unique_ptr<IFirewallApp> pApp;
    // A failed lookup is the answer "not listed", not a failure.
    if (!pList->Item(*pPath, pApp) || pApp == nullptr)
        return 0;
    bool bEnabled = false;
    if (!pApp->GetEnabled(bEnabled))
        return FW_E_APP_LIST;
    if (bEnabled)
        *pnAllowed = 1;
    return 0;
}

int FirewallContext::AllowApp(const wchar_t* pszPath, const wchar_t* pszName)
{
    if (pszPath == nullptr || pszName == nullptr)
        return FW_E_MISSING_ARGUMENT;
    if (m_pProfile == nullptr)
        return FW_E_NO_PROFILE;
    int nAllowed = 0;
    if (const int nResult = IsAppAllowed(pszPath, &nAllowed); nResult != 0)
        return nResult;
    if (nAllowed == 1)
        return 0;

    std::unique_ptr<IFirewallAppList> pList;
    if (!m_pProfile->GetAuthorizedApplications(pList) || pList == nullptr)
        return FW_E_APP_LIST;
    std::unique_ptr<IFirewallApp> pApp;
    if (!m_com.CreateAuthorizedApp(pApp) || pApp == nullptr)
        return FW_E_APP_LIST;
    std::unique_ptr<IFirewallString> pPath;
    if (!m_com.MakeString(pszPath, pPath) || pPath == nullptr)
        return FW_E_STRING;
    if (!pApp->PutProcessImageFileName(*pPath))
        return FW_E_APP_SETTINGS;
    if (*pszName == L'\0')
        return FW_E_STRING;
    std::unique_ptr<IFirewallString> pName;
    if (!m_com.MakeString(pszName, pName) || pName == nullptr)
        return FW_E_STRING;
    if (!pApp->PutName(*pName))
        return FW_E_APP_SETTINGS;
    // A disabled entry of the same path is replaced by this new, enabled one.
    if (!pList->Add(*pApp))
        return FW_E_APP_SETTINGS;
    return 0;
}

void FirewallContext::CloseFirewall()
{
    m_pProfile.reset();
    if (m_nComInitialised == 1) {
        m_com.Uninitialise();
        m_nComInitialised = 0;
    }
}

int AddFirewallExceptionFor(IFirewallCom& com, const std::wstring& strExePath, const wchar_t* pszEntryName)
{
    FirewallContext context(com);
    int nResult = context.OpenFirewall();
    if (nResult != 0)
        return nResult;
    int nOn = 0;
    nResult = context.IsFirewallOn(&nOn);
    if (nResult != 0)
        return nResult;
    // A firewall that is off stays off: the entry is added for the day it
    // is switched on.
    if (nOn == 1) {
        nResult = context.AllowFirewallExceptions();
        if (nResult != 0)
            return nResult;
    }
    if (strExePath.empty())
        return 0;
    nResult = context.AllowApp(strExePath.c_str(), pszEntryName);
    return nResult == 0 ? 1 : nResult;
}
