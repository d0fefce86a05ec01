#include "app/startup_services.h"

// Neither service is built yet; each answers as its own failure does, which
// start-up already tolerates: no firewall entry, no update check. Both
// arrive with the start-up services of the roadmap.

int AddFirewallException(const std::wstring&)
{
    return 1;
}

int CheckForUpdate(const std::wstring&, const std::wstring&, const std::wstring&)
{
    return 1;
}
