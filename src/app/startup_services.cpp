#include "app/startup_services.h"

// Not built yet; it answers as its own failure does, which start-up already
// tolerates: no firewall entry. It arrives with the start-up services of the
// roadmap.

int AddFirewallException(const std::wstring&)
{
    return 1;
}
