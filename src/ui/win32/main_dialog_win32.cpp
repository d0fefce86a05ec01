#include "ui/win32/main_dialog_win32.h"

#include <dbt.h>
#include <windowsx.h>

#include "app/message_catalogue.h"
#include "app/settings_names.h"
#include "base/scope_guard.h"
#include "base/thread_guard.h"
#include "engine/slot_result.h"
#include "framework/afx_app.h"
#include "framework/afx_ddx.h"
#include "framework/afx_folder_picker.h"
#include "framework/afx_resource.h"
#include "platform/folder_tree.h"
#include "platform/shell_open.h"
#include "ui/slot_error_text.h"
#include "ui/win32/about_dialog_win32.h"
#include "ui/win32/balloon_help_win32.h"
#include "ui/win32/resource.h"

namespace {

constexpr int MAX_LABEL_CHARS = 11;

// The combo sorts its items; these happen to be in sorted order already, so
// the index of each is its place here.
const wchar_t* const kFileSystems[] = {L"FAT", L"FAT32", L"NTFS"};

const int kControlsLockedWhileRunning[] = {
    IDC_BROWSE, IDC_TASK_FILE_COPY, IDC_TASK_SECTOR_COPY, IDC_TASK_FORMAT,
    IDC_FILE_SYSTEM, IDC_LABEL_CAPTION, IDC_LABEL, IDC_VERIFY, IDC_USED_SPACE_ONLY,
};

// A stored box: any number other than 0 ticks it, and what was stored goes
// back unchanged unless the operator left the box changed.
int BoxFromStored(int nStored)
{
    return nStored != 0 ? 1 : 0;
}

int StoredFromBox(int nBox, int nStored)
{
    return nBox == BoxFromStored(nStored) ? nStored : nBox;
}

}  // namespace

constexpr CMessageMapEntry<CKOBLDlg> CKOBLDlg::kMessageMap[] = {
    MapMessage<CKOBLDlg>(WM_SYSCOMMAND, &CKOBLDlg::OnSysCommand),
    MapMessage<CKOBLDlg>(WM_PAINT, &CKOBLDlg::OnPaint),
    MapMessage<CKOBLDlg>(WM_QUERYDRAGICON, &CKOBLDlg::OnQueryDragIcon),
    MapCommand<CKOBLDlg>(BN_CLICKED, IDC_BROWSE, &CKOBLDlg::OnBrowse),
    MapCommand<CKOBLDlg>(BN_CLICKED, IDC_START, &CKOBLDlg::OnStartOrCancel),
    MapMessage<CKOBLDlg>(WM_CLOSE, &CKOBLDlg::OnClose),
    // One entry each: the radios' ids are not consecutive (1006, 1013, 1007
    // in template order) and a range over them would take Start's clicks too.
    MapCommand<CKOBLDlg>(BN_CLICKED, IDC_TASK_FILE_COPY, &CKOBLDlg::OnTaskChanged),
    MapCommand<CKOBLDlg>(BN_CLICKED, IDC_TASK_SECTOR_COPY, &CKOBLDlg::OnTaskChanged),
    MapCommand<CKOBLDlg>(BN_CLICKED, IDC_TASK_FORMAT, &CKOBLDlg::OnTaskChanged),
    MapMessage<CKOBLDlg>(WM_RUN_ENDED, &CKOBLDlg::OnRunEndedMessage),
    MapMessage<CKOBLDlg>(WM_TIMER, &CKOBLDlg::OnTimer),
};
static_assert(!HasDuplicateEntries(CKOBLDlg::kMessageMap), "a message is mapped twice");

CKOBLDlg::CKOBLDlg(const PlatformServices& services, CWnd* pParent)
    : CDialog(IDD_KOBL_DIALOG, pParent),
      m_hIcon(LoadIconW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDR_MAINFRAME))),
      m_services(services),
      m_slots(m_services.m_volumes, m_request, *this)
{
    // Bound before the window exists: until the controls are attached the
    // views talk to no window, so an early rescan is harmless.
    for (int i = 0; i < MAX_DRIVE_SLOTS; ++i)
        m_slots.BindSlot(i, m_letterViews[i], m_progressViews[i], m_statusViews[i]);
}

CKOBLDlg::~CKOBLDlg() = default;

bool CKOBLDlg::OnWndMsg(UINT nMessage, WPARAM wParam, LPARAM lParam, LRESULT& lResult)
{
    return DispatchMessageMap(*this, kMessageMap, nMessage, wParam, lParam, lResult)
        || CDialog::OnWndMsg(nMessage, wParam, lParam, lResult);
}

void CKOBLDlg::DoDataExchange(CDataExchange* pDX)
{
    // First: a check that fails further down ends the exchange, and no slot
    // may be left without its window for the workers.
    for (int i = 0; i < MAX_DRIVE_SLOTS; ++i) {
        DDX_Control(pDX, IDC_SLOT_LETTER_FIRST + i, m_letterViews[i]);
        DDX_Control(pDX, IDC_SLOT_PROGRESS_FIRST + i, m_progressViews[i]);
        DDX_Control(pDX, IDC_SLOT_STATUS_FIRST + i, m_statusViews[i]);
    }
    DDX_Text(pDX, IDC_SOURCE_PATH, m_request.m_strSourcePath);
    DDX_Radio(pDX, IDC_TASK_FILE_COPY, m_request.m_nTaskType);
    DDX_Control(pDX, IDC_FILE_SYSTEM, m_cbFileSystem);
    // Before the label: a stored label too long for the edit fails the
    // exchange there, yet a copy still starts and a close still stores.
    DDX_Check(pDX, IDC_VERIFY, m_nVerify);
    DDX_Check(pDX, IDC_USED_SPACE_ONLY, m_nUsedSpaceOnly);
    DDX_Text(pDX, IDC_LABEL, m_request.m_strLabel);
    DDV_MaxChars(pDX, m_request.m_strLabel, MAX_LABEL_CHARS);
}

BOOL CKOBLDlg::OnInitDialog()
{
    CDialog::OnInitDialog();

    if (HMENU hSysMenu = GetSystemMenu(FALSE)) {
        const std::wstring strAbout = AfxLoadString(GetModuleHandleW(nullptr), IDS_ABOUTBOX, AfxGetResourceLanguage());
        if (!strAbout.empty()) {
            AppendMenuW(hSysMenu, MF_SEPARATOR, 0, nullptr);
            AppendMenuW(hSysMenu, MF_STRING, IDM_ABOUTBOX, strAbout.c_str());
        }
    }
    SetIcon(m_hIcon, TRUE);
    SetIcon(m_hIcon, FALSE);

    InitDialogControls();
    return TRUE;
}

int CKOBLDlg::InitDialogControls()
{
    CWinApp* pApp = AfxGetApp();
    m_strSourceFolder = pApp->GetProfileString(SETTINGS_SECTION, SETTING_SOURCE_FOLDER, L"");
    m_strSourceVolume = pApp->GetProfileString(SETTINGS_SECTION, SETTING_SOURCE_VOLUME, L"");
    m_request.m_nTaskType = static_cast<int>(pApp->GetProfileInt(SETTINGS_SECTION, SETTING_TASK_TYPE, DEFAULT_TASK_TYPE));

    for (const wchar_t* pszFileSystem : kFileSystems)
        m_cbFileSystem.AddString(pszFileSystem);
    // A stored index outside the list leaves the combo without a selection.
    m_cbFileSystem.SetCurSel(static_cast<int>(pApp->GetProfileInt(SETTINGS_SECTION, SETTING_FORMAT_TYPE, DEFAULT_FORMAT_TYPE)));

    m_request.m_strLabel = pApp->GetProfileString(SETTINGS_SECTION, SETTING_VOLUME_LABEL, DEFAULT_VOLUME_LABEL);
    m_nStoredVerify = static_cast<int>(pApp->GetProfileInt(SETTINGS_SECTION, SETTING_VERIFY, DEFAULT_VERIFY));
    m_nVerify = BoxFromStored(m_nStoredVerify);
    m_nStoredUsedSpaceOnly = static_cast<int>(
        pApp->GetProfileInt(SETTINGS_SECTION, SETTING_USED_SPACE_ONLY, DEFAULT_USED_SPACE_ONLY));
    m_nUsedSpaceOnly = BoxFromStored(m_nStoredUsedSpaceOnly);

    // The template is taller than what it shows: end the window as far below
    // Start as the window reaches to Start's right.
    RECT rcStart{};
    ::GetWindowRect(GetDlgItem(IDC_START), &rcStart);
    RECT rcWindow = GetWindowRect();
    rcWindow.bottom = rcStart.bottom + (rcWindow.right - rcStart.right);
    MoveWindow(rcWindow, TRUE);

    UpdateData(FALSE);
    UpdateTaskControls(1);
    m_slots.RefreshDriveSlots();
    return 1;
}

int CKOBLDlg::UpdateTaskControls(int nReadControls)
{
    const bool bRunning = IsRunActive();
    // During a run the controls show what Start took, and the run holds its
    // own copy: nothing is read back from them until it has ended.
    if (nReadControls == 1 && !bRunning)
        UpdateData(TRUE);

    const bool bFormat = m_request.m_nTaskType == TASK_FORMAT;
    if (bRunning) {
        SetDlgItemText(IDC_START, GetMessageText(MSG_CANCEL));
        EnableDlgItem(IDC_START, !bFormat);   // a format cannot be cancelled
        for (int nId : kControlsLockedWhileRunning)
            EnableDlgItem(nId, FALSE);
    } else {
        SetDlgItemText(IDC_START, GetMessageText(MSG_START));
        for (int nId : {IDC_START, IDC_BROWSE, IDC_TASK_FILE_COPY, IDC_TASK_SECTOR_COPY, IDC_TASK_FORMAT})
            EnableDlgItem(nId, TRUE);
        for (int nId : {IDC_FILE_SYSTEM, IDC_LABEL_CAPTION, IDC_LABEL})
            EnableDlgItem(nId, bFormat);
        EnableDlgItem(IDC_VERIFY, !bFormat);
        EnableDlgItem(IDC_USED_SPACE_ONLY, m_request.m_nTaskType == TASK_SECTOR_COPY);
    }

    if (bFormat) {
        EnableDlgItem(IDC_BROWSE, FALSE);
        if (!bRunning)
            m_request.m_strSourcePath.clear();
    } else if (!bRunning) {
        m_request.m_strSourcePath =
            m_request.m_nTaskType == TASK_FILE_COPY ? m_strSourceFolder : m_strSourceVolume;
    }

    UpdateData(FALSE);
    return 1;
}

void CKOBLDlg::OnTaskChanged()
{
    UpdateTaskControls(1);
    // The source, and so the excluded drive, changes with the task.
    m_slots.RefreshDriveSlots();
}

BOOL CKOBLDlg::PreTranslateMessage(MSG* pMsg)
{
    if (pMsg->message == WM_LBUTTONDOWN) {
        for (int i = 0; i < MAX_DRIVE_SLOTS; ++i) {
            if (pMsg->hwnd == m_statusViews[i].GetSafeHwnd()) {
                ShowSlotError(i);
                return FALSE;
            }
            if (pMsg->hwnd == m_letterViews[i].GetSafeHwnd()) {
                OpenSlotDrive(i);
                return FALSE;
            }
        }
    }
    return CDialog::PreTranslateMessage(pMsg);
}

LRESULT CKOBLDlg::WindowProc(UINT nMessage, WPARAM wParam, LPARAM lParam)
{
    if (nMessage == WM_DEVICECHANGE && (wParam == DBT_DEVICEARRIVAL || wParam == DBT_DEVICEREMOVECOMPLETE))
        m_slots.RefreshDriveSlots();
    return CDialog::WindowProc(nMessage, wParam, lParam);
}

void CKOBLDlg::OpenSlotDrive(int nSlot)
{
    const std::wstring strRoot = m_letterViews[nSlot].GetText();
    if (strRoot != SLOT_EMPTY_LETTER)
        m_services.m_shell.OpenInFileBrowser(strRoot);
}

void CKOBLDlg::ShowSlotError(int nSlot)
{
    std::wstring strTitle;
    std::wstring strBody;
    // The reason the slot's drive failed with, kept until the next scan,
    // which also clears the code it belongs to.
    if (!BuildSlotErrorMessage(m_statusViews[nSlot].GetText(), m_slots.GetFailures().Get(nSlot),
                               m_letterViews[nSlot].GetText(), m_services.m_messages, strTitle, strBody))
        return;
    // Shown during the press: it holds the mouse, so the release of the
    // same button closes it wherever the mouse has gone. It points where the
    // press was, which the press itself carries: a cursor read now may
    // already be elsewhere, and under Wine may even read an older place.
    const DWORD dwPressPos = ::GetMessagePos();
    const POINT ptPress{GET_X_LPARAM(dwPressPos), GET_Y_LPARAM(dwPressPos)};
    CBalloonHelp::ShowBalloon(strTitle, strBody, ptPress, IDI_HAND, BALLOON_CLOSE_ON_LBUTTON_UP, nullptr,
                              std::wstring(), 0);
}

void CKOBLDlg::OnBrowse()
{
    BROWSEINFOW info{};
    info.hwndOwner = m_hWnd;
    info.lpszTitle = GetMessageText(m_request.m_nTaskType == TASK_FILE_COPY ? MSG_SELECT_SOURCE_FOLDER
                                                                            : MSG_SELECT_USB_DRIVE);
    info.ulFlags = BIF_RETURNONLYFSDIRS | BIF_RETURNFSANCESTORS;
    info.lpfn = &CKOBLDlg::BrowseCallback;
    info.lParam = reinterpret_cast<LPARAM>(this);
    std::wstring strPath;
    if (AfxBrowseForFolder(info, strPath))
        (m_request.m_nTaskType == TASK_FILE_COPY ? m_strSourceFolder : m_strSourceVolume) = strPath;
    UpdateData(FALSE);
    UpdateTaskControls(1);
    m_slots.RefreshDriveSlots();
}

int CALLBACK CKOBLDlg::BrowseCallback(HWND hWnd, UINT nMessage, LPARAM lParam, LPARAM lpData)
{
    CKOBLDlg* pThis = reinterpret_cast<CKOBLDlg*>(lpData);
    return RunGuarded(
        [&] {
            if (nMessage == BFFM_INITIALIZED)
                ::SendMessageW(hWnd, BFFM_SETSELECTIONW, TRUE,
                               reinterpret_cast<LPARAM>(pThis->m_request.m_strSourcePath.c_str()));
            else if (nMessage == BFFM_SELCHANGED && pThis->m_request.m_nTaskType == TASK_SECTOR_COPY)
                pThis->OnBrowseSelectionChanged(hWnd, lParam);
            return 0;
        },
        0);
}

void CKOBLDlg::OnBrowseSelectionChanged(HWND hPicker, LPARAM lParam)
{
    // A raw copy reads a whole volume: the selection snaps to the drive that
    // holds it, and only a drive that could be a target may be chosen.
    const std::wstring strDevice = AfxGetPathFromIdList(reinterpret_cast<PCIDLIST_ABSOLUTE>(lParam)).substr(0, 2);
    ::SendMessageW(hPicker, BFFM_ENABLEOK, 0, m_slots.IsUsableUsbDrive(strDevice) ? 1 : 0);
    ::SendMessageW(hPicker, BFFM_SETSELECTIONW, TRUE, reinterpret_cast<LPARAM>(strDevice.c_str()));
}

void CKOBLDlg::OnStartOrCancel()
{
    if (IsRunActive())
        CancelRun();
    else
        StartRun();
}

void CKOBLDlg::StartRun()
{
    // A label the edit would not accept (from the settings) has just been
    // refused with the framework's message: no format runs with a label the
    // operator never saw accepted. The copies never use the label.
    if (!UpdateData(TRUE) && m_request.m_nTaskType == TASK_FORMAT)
        return;
    m_slots.RefreshDriveSlots();
    if (m_slots.GetDriveCount() == 0) {
        AfxMessageBox(GetMessageText(MSG_NO_DRIVE), MB_OK | MB_ICONINFORMATION);
        return;
    }
    if (m_request.m_nTaskType == TASK_FORMAT) {
        if (AfxMessageBox(GetMessageText(MSG_FORMAT_WARNING), MB_OKCANCEL | MB_ICONINFORMATION) == IDCANCEL)
            return;
    } else if (!m_services.m_folders.PathExists(m_request.m_strSourcePath)) {
        AfxMessageBox(GetMessageText(MSG_INVALID_SOURCE), MB_OK | MB_ICONEXCLAMATION);
        return;
    }
    // What the run reads is its own copy, taken now.
    TaskRequest request = m_request;
    const int nFileSystem = m_cbFileSystem.GetCurSel();
    request.m_strFileSystem = nFileSystem >= 0 ? m_cbFileSystem.GetLBText(nFileSystem) : std::wstring();
    // Only the copies read their drives back. A Format's request says so
    // whatever the box shows, so no engine needs to know which tasks verify.
    const bool bCopy = request.m_nTaskType == TASK_FILE_COPY || request.m_nTaskType == TASK_SECTOR_COPY;
    request.m_nVerify = bCopy ? m_nVerify : 0;
    // Only a raw copy has chunks to leave out; a File Copy copies files anyway.
    request.m_nUsedSpaceOnly = request.m_nTaskType == TASK_SECTOR_COPY ? m_nUsedSpaceOnly : 0;
    m_pRun = MakeRun(request);
    if (!m_pRun->Start()) {
        m_pRun.reset();
        return;
    }
    ::SetTimer(m_hWnd, RUN_END_TIMER, RUN_END_TIMER_MS, nullptr);
    UpdateTaskControls(1);
}

std::unique_ptr<CTaskRun> CKOBLDlg::MakeRun(const TaskRequest& request)
{
    IRunListener& listener = *this;
    return std::make_unique<CTaskRun>(request, m_slots, m_services, listener);
}

void CKOBLDlg::CancelRun()
{
    // Held at their own check points, the workers stay still while the
    // question is open; none is frozen in the middle of something the
    // message box may need. The question's own message loop may finish the
    // run meanwhile (a worker that held no check point ended, and with it
    // the run): after it, the run is asked for again.
    m_pRun->Control().HoldWorkers();
    const CScopeGuard release([this] {
        if (m_pRun)
            m_pRun->Control().ReleaseWorkers();
    });
    if (m_pRun->CountLiveWorkers() == 0)
        return;
    EnableDlgItem(IDC_START, FALSE);
    const int nAnswer = AfxMessageBox(GetMessageText(MSG_CANCEL_QUESTION), MB_OKCANCEL | MB_ICONQUESTION);
    if (nAnswer != IDCANCEL && m_pRun)
        m_pRun->Control().RequestCancel();
    EnableDlgItem(IDC_START, TRUE);
}

void CKOBLDlg::OnRunEnded()
{
    // The UI thread clears the run and restores the idle look in one go, so
    // no click in between can be taken for a Start. A post that cannot be
    // made (a full queue) is caught by the run's timer.
    ::PostMessageW(m_hWnd, WM_RUN_ENDED, 0, 0);
}

LRESULT CKOBLDlg::OnRunEndedMessage(WPARAM, LPARAM)
{
    FinishRun();
    return 0;
}

LRESULT CKOBLDlg::OnTimer(WPARAM wParam, LPARAM)
{
    if (wParam != RUN_END_TIMER)
        return Default();
    FinishRun();
    return 0;
}

void CKOBLDlg::FinishRun()
{
    // The post and the timer may both come, the post even after a timer
    // that finished its run and a Start that made the next: only a run that
    // has ended is finished.
    if (!m_pRun || !m_pRun->HasEnded())
        return;
    ::KillTimer(m_hWnd, RUN_END_TIMER);
    m_pRun->Finish();
    m_pRun.reset();
    UpdateTaskControls(0);
}

LRESULT CKOBLDlg::OnSysCommand(WPARAM wParam, LPARAM)
{
    // The system keeps the low four bits of a command for itself.
    if ((wParam & 0xFFF0) == IDM_ABOUTBOX) {
        ClaAboutDlg about(this);
        about.DoModal();
        return 0;
    }
    return Default();
}

LRESULT CKOBLDlg::OnPaint(WPARAM, LPARAM)
{
    if (!IsIconic())
        return Default();
    PAINTSTRUCT ps{};
    HDC hdc = BeginPaint(m_hWnd, &ps);
    SendMessage(WM_ICONERASEBKGND, reinterpret_cast<WPARAM>(hdc), 0);
    const RECT rc = GetClientRect();
    const int x = (rc.right - rc.left - GetSystemMetrics(SM_CXICON) + 1) / 2;
    const int y = (rc.bottom - rc.top - GetSystemMetrics(SM_CYICON) + 1) / 2;
    DrawIcon(hdc, x, y, m_hIcon);
    EndPaint(m_hWnd, &ps);
    return 0;
}

LRESULT CKOBLDlg::OnQueryDragIcon(WPARAM, LPARAM)
{
    return reinterpret_cast<LRESULT>(m_hIcon);
}

LRESULT CKOBLDlg::OnClose(WPARAM, LPARAM)
{
    if (IsRunActive())
        return 0;
    // Whatever the exchange makes of the controls is what gets remembered,
    // even when a check in it fails.
    UpdateData(TRUE);
    CWinApp* pApp = AfxGetApp();
    pApp->WriteProfileString(SETTINGS_SECTION, SETTING_SOURCE_FOLDER, m_strSourceFolder);
    pApp->WriteProfileString(SETTINGS_SECTION, SETTING_SOURCE_VOLUME, m_strSourceVolume);
    pApp->WriteProfileInt(SETTINGS_SECTION, SETTING_TASK_TYPE, m_request.m_nTaskType);
    pApp->WriteProfileInt(SETTINGS_SECTION, SETTING_FORMAT_TYPE, m_cbFileSystem.GetCurSel());
    pApp->WriteProfileString(SETTINGS_SECTION, SETTING_VOLUME_LABEL, m_request.m_strLabel);
    pApp->WriteProfileInt(SETTINGS_SECTION, SETTING_VERIFY, StoredFromBox(m_nVerify, m_nStoredVerify));
    pApp->WriteProfileInt(SETTINGS_SECTION, SETTING_USED_SPACE_ONLY,
                          StoredFromBox(m_nUsedSpaceOnly, m_nStoredUsedSpaceOnly));
    return Default();
}

void CKOBLDlg::OnOK()
{
    if (!IsRunActive())
        CDialog::OnOK();
}

void CKOBLDlg::OnCancel()
{
    if (!IsRunActive())
        CDialog::OnCancel();
}
