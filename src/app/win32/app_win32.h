#pragma once
// The application object: prepares the process, keeps one copy running per
// session, and runs the main dialog. The process ends when the dialog does.

#include <optional>

#include "base/win32/com_owner_win32.h"
#include "base/win32/handles_win32.h"
#include "framework/afx_app.h"
#include "platform/platform_services.h"

class CKOBLApp : public CWinApp {
public:
    // The platform services the dialog works through: the system's for the
    // product, the simulated bay's for the demo build.
    explicit CKOBLApp(const PlatformServices& services);

    BOOL InitInstance() override;

private:
    const PlatformServices m_services;
    // COM for the thread that runs InitInstance, and so the dialog, from the
    // start of InitInstance for as long as the application object lives.
    // Opening a drive in Explorer goes through ShellExecute, which needs it
    // on the calling thread at that moment; the firewall step and the
    // folder picker take and give back nested references of their own,
    // which without this one would leave the thread without COM after them.
    std::optional<CComInitGuard> m_comApartment;
    // The single-instance mutex, held from InitInstance for as long as the
    // application object lives, which is as long as the process runs: any
    // copy started meanwhile finds it and ends.
    CUniqueKernelHandle m_startMutex;
};
