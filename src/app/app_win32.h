#pragma once
// The application object: prepares the process, keeps one copy running per
// session, and runs the main dialog. The process ends when the dialog does.

#include "framework/afx_app.h"

class IShellOpen;
class IVolumeQueries;

class CKOBLApp : public CWinApp {
public:
    // The platform services the dialog works through: the system's for the
    // product, the simulated bay's for the demo build.
    CKOBLApp(IVolumeQueries& volumes, IShellOpen& shell);

    BOOL InitInstance() override;

private:
    IVolumeQueries& m_volumes;
    IShellOpen& m_shell;
};
