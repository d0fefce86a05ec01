#include "app/startup_services.h"

// None of these services is built yet; each answers as its own failure does,
// which start-up already tolerates: English stays, no firewall entry, no
// update check. The language arrives with issue #3, the firewall and update
// check with the start-up services of the roadmap.

int SelectUiLanguage()
{
    return 0;
}

int AddFirewallException(const std::wstring&)
{
    return 1;
}

int IsAutoUpdateEnabled()
{
    return 0;
}

int CheckForUpdate(const std::wstring&, const std::wstring&, const std::wstring&)
{
    return 1;
}
