#include "ui/win32/download_alarm_win32.h"

#include "app/message_catalogue.h"
#include "framework/afx_ddx.h"
#include "ui/win32/download_alarm_resource.h"

CDownLoadAlarm::CDownLoadAlarm() : CDialog(IDD_DOWNLOAD_ALARM, nullptr) {}

constexpr CMessageMapEntry<CDownLoadAlarm> CDownLoadAlarm::kMessageMap[] = {
    MapCommand<CDownLoadAlarm>(BN_CLICKED, IDC_DOWNLOAD_OK, &CDownLoadAlarm::OnDownloadOk),
    MapCommand<CDownLoadAlarm>(BN_CLICKED, IDC_DOWNLOAD_CANCEL, &CDownLoadAlarm::OnDownloadCancel),
};
static_assert(!HasDuplicateEntries(CDownLoadAlarm::kMessageMap), "a message is mapped twice");

bool CDownLoadAlarm::OnWndMsg(UINT nMessage, WPARAM wParam, LPARAM lParam, LRESULT& lResult)
{
    return DispatchMessageMap(*this, kMessageMap, nMessage, wParam, lParam, lResult)
        || CDialog::OnWndMsg(nMessage, wParam, lParam, lResult);
}

BOOL CDownLoadAlarm::OnInitDialog()
{
    CDialog::OnInitDialog();
    // The user's own language, not the program's: the prompt comes before
    // anything else of the program and speaks to whoever sits there, even
    // where the interface language fell back to English.
    const CatalogueColumn column = GetCatalogueColumn(::GetUserDefaultLangID());
    SetDlgItemText(IDC_DOWNLOAD_QUESTION, g_messageCatalogue[MSG_DOWNLOAD_QUESTION].pszText[column]);
    SetDlgItemText(IDC_DONT_SHOW_AGAIN, g_messageCatalogue[MSG_DONT_SHOW_AGAIN].pszText[column]);
    SetDlgItemText(IDC_DOWNLOAD_OK, g_messageCatalogue[MSG_OK].pszText[column]);
    SetDlgItemText(IDC_DOWNLOAD_CANCEL, g_messageCatalogue[MSG_CANCEL].pszText[column]);
    return TRUE;
}

void CDownLoadAlarm::DoDataExchange(CDataExchange* pDX)
{
    CDialog::DoDataExchange(pDX);
    DDX_Check(pDX, IDC_DONT_SHOW_AGAIN, m_nDontShowAgain);
}

void CDownLoadAlarm::OnDownloadOk()
{
    if (!UpdateData(TRUE))
        return;
    m_nAccepted = 1;
    EndDialog(IDOK);
}

void CDownLoadAlarm::OnDownloadCancel()
{
    m_nAccepted = 0;
    EndDialog(IDCANCEL);
}
