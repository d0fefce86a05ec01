#pragma once
// Keeps the running program listed, and enabled, among the firewall's allowed
// programs of the current profile; when the firewall is on, makes sure it
// allows exceptions at all. Shows nothing: start-up ignores the result.

#include <memory>
#include <string>

#include "services/firewall_com.h"

// Result codes; 0 is success.
constexpr int FW_E_MISSING_ARGUMENT = -1;
constexpr int FW_E_STRING = -2;           // a COM string failed, or the entry name is empty
constexpr int FW_E_NO_PROFILE = -50;      // also: the firewall manager cannot be created
constexpr int FW_E_COM_INIT = -51;
constexpr int FW_E_FIREWALL_STATE = -52;  // reading or switching on the firewall
constexpr int FW_E_EXCEPTIONS = -53;
constexpr int FW_E_APP_LIST = -55;        // the list, a new entry, or an entry's enabled state
constexpr int FW_E_APP_SETTINGS = -56;    // the entry's path or name, or adding it
constexpr int FW_E_CURRENT_PROFILE = -57;
constexpr int FW_E_LOCAL_POLICY = -58;

// Lives for one registration; the destructor closes what is still open.
class FirewallContext {
public:
    explicit FirewallContext(IFirewallCom& com) : m_com(com) {}
    ~FirewallContext() { CloseFirewall(); }

    FirewallContext(const FirewallContext&) = delete;
    FirewallContext& operator=(const FirewallContext&) = delete;

    int OpenFirewall();
    int IsFirewallOn(int* pnOn);
    int AllowFirewallExceptions();
    int IsAppAllowed(const wchar_t* pszPath, int* pnAllowed);
    int AllowApp(const wchar_t* pszPath, const wchar_t* pszName);
    void CloseFirewall();

private:
    IFirewallCom& m_com;
    std::unique_ptr<IFirewallProfile> m_pProfile;
    int m_nComInitialised = 0;
};

// 1 when the program is listed and enabled at the end; 0 when its path is
// empty (it could not be read); otherwise the code of the first failing step.
int AddFirewallExceptionFor(IFirewallCom& com, const std::wstring& strExePath, const wchar_t* pszEntryName);
