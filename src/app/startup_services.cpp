#include "app/startup_services.h"

// Not built yet; it answers as its own failure does, which start-up already
// tolerates: no update check.

int CheckForUpdate(const std::wstring&, const std::wstring&, const std::wstring&)
{
    return 1;
}
