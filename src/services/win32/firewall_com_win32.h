#pragma once
// The firewall calls over the Windows Firewall's COM objects (netfw.h).

#include "services/firewall_com.h"

class CWin32FirewallCom : public IFirewallCom {
public:
    FirewallComInit Initialise() override;
    void Uninitialise() override;
    bool CreateManager(std::unique_ptr<IFirewallManager>& pManager) override;
    bool CreateAuthorizedApp(std::unique_ptr<IFirewallApp>& pApp) override;
    bool MakeString(const std::wstring& strText, std::unique_ptr<IFirewallString>& pString) override;
};
