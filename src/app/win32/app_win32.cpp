#include "app/win32/app_win32.h"

#include <commctrl.h>

#include "app/app_title.h"
#include "app/message_catalogue.h"
#include "app/settings_names.h"
#include "app/win32/machine_settings_win32.h"
#include "app/win32/single_instance_win32.h"
#include "app/win32/ui_language_win32.h"
#include "app/win32/update_prompt_win32.h"
#include "services/win32/firewall_exception_win32.h"
#include "ui/win32/main_dialog_win32.h"

CKOBLApp::CKOBLApp(const PlatformServices& services) : m_services(services)
{
}

BOOL CKOBLApp::InitInstance()
{
    m_comApartment.emplace(COM_INIT_SHELL_APARTMENT);

    INITCOMMONCONTROLSEX controls{};
    controls.dwSize = sizeof(controls);
    controls.dwICC = ICC_WIN95_CLASSES;
    InitCommonControlsEx(&controls);

    CWinApp::InitInstance();

    // The profile name is taken from the application name at this moment, so
    // the key must be set while that is still the executable's base name.
    SetRegistryKey(APP_REGISTRY_KEY);
    SetAppName(APP_TITLE);

    m_startMutex.reset(AcquireSingleInstanceLock(APP_START_MUTEX_NAME, 1));
    if (!m_startMutex)
        return FALSE;

    SelectUiLanguage();
    AddFirewallException(APP_TITLE);
    if (IsAutoUpdateEnabled())
        CheckForUpdate(GetMessageText(MSG_SELECT_FOLDER));

    CKOBLDlg dialog(m_services);
    m_pMainWnd = &dialog;
    dialog.DoModal();
    m_pMainWnd = nullptr;
    return FALSE;
}
