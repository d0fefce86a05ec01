#pragma once
// The application object: prepares the process, keeps one copy running per
// session, and runs the main dialog. The process ends when the dialog does.

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
    // The single-instance mutex, held from InitInstance for as long as the
    // application object lives, which is as long as the process runs: any
    // copy started meanwhile finds it and ends.
    CUniqueKernelHandle m_startMutex;
};
