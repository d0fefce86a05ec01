#pragma once
// What registering with the firewall asks of the system: the few COM calls of
// the Windows Firewall's allowed-programs list, one method each. Every object
// handed out is owned by its receiver, and destroying it releases it, so the
// firewall logic releases every interface on every path by scope alone.
//
// Each call reports only whether it worked; the logic turns that into its
// own result codes.

#include <memory>
#include <string>

enum FirewallComInit {
    FW_COM_INIT_OK,                  // this call initialised COM for the thread
    FW_COM_INIT_ALREADY_INITIALISED, // initialised before, same model: still a reference to give back
    FW_COM_INIT_CHANGED_MODE,        // the thread runs another apartment model: usable, nothing to give back
    FW_COM_INIT_FAILED,
};

// A COM string (BSTR), freed when destroyed.
class IFirewallString {
public:
    virtual ~IFirewallString() = default;
};

// One allowed program (INetFwAuthorizedApplication).
class IFirewallApp {
public:
    virtual ~IFirewallApp() = default;
    virtual bool GetEnabled(bool& bEnabled) = 0;
    virtual bool PutProcessImageFileName(const IFirewallString& path) = 0;
    virtual bool PutName(const IFirewallString& name) = 0;
};

// The profile's allowed programs (INetFwAuthorizedApplications).
class IFirewallAppList {
public:
    virtual ~IFirewallAppList() = default;
    virtual bool Item(const IFirewallString& path, std::unique_ptr<IFirewallApp>& pApp) = 0;
    // pApp comes from the same IFirewallCom as this list.
    virtual bool Add(IFirewallApp& app) = 0;
};

// INetFwProfile.
class IFirewallProfile {
public:
    virtual ~IFirewallProfile() = default;
    virtual bool GetFirewallEnabled(bool& bEnabled) = 0;
    virtual bool PutFirewallEnabled(bool bEnabled) = 0;
    virtual bool PutExceptionsNotAllowed(bool bNotAllowed) = 0;
    virtual bool GetAuthorizedApplications(std::unique_ptr<IFirewallAppList>& pList) = 0;
};

// INetFwPolicy.
class IFirewallPolicy {
public:
    virtual ~IFirewallPolicy() = default;
    virtual bool GetCurrentProfile(std::unique_ptr<IFirewallProfile>& pProfile) = 0;
};

// INetFwMgr.
class IFirewallManager {
public:
    virtual ~IFirewallManager() = default;
    virtual bool GetLocalPolicy(std::unique_ptr<IFirewallPolicy>& pPolicy) = 0;
};

// The thread's COM and the two creatable objects.
class IFirewallCom {
public:
    virtual ~IFirewallCom() = default;
    virtual FirewallComInit Initialise() = 0;
    virtual void Uninitialise() = 0;
    virtual bool CreateManager(std::unique_ptr<IFirewallManager>& pManager) = 0;
    virtual bool CreateAuthorizedApp(std::unique_ptr<IFirewallApp>& pApp) = 0;
    virtual bool MakeString(const std::wstring& strText, std::unique_ptr<IFirewallString>& pString) = 0;
};
