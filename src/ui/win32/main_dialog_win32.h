#pragma once
// The program's only window: task choice, source, Start, and the 22 drive
// slots. It translates between the operator and the core: the run, the
// drive scan and the engines decide.

#include <windows.h>

#include <array>
#include <memory>
#include <string>

#include "engine/drive_slot_table.h"
#include "engine/task_request.h"
#include "engine/task_run.h"
#include "framework/afx_dialog.h"
#include "framework/afx_msgmap.h"
#include "platform/platform_services.h"
#include "ui/win32/slot_views_win32.h"

// Posted by the supervisor's thread when a run has ended.
constexpr UINT WM_RUN_ENDED = WM_APP + 1;
// While a run exists: looks for its end, should the post of it be lost.
constexpr UINT_PTR RUN_END_TIMER = 1;
constexpr UINT RUN_END_TIMER_MS = 1000;

class CKOBLDlg : public CDialog, private IRunListener, private IRunPresence {
public:
    explicit CKOBLDlg(const PlatformServices& services, CWnd* pParent = nullptr);
    ~CKOBLDlg() override;

    int InitDialogControls();
    int UpdateTaskControls(int nReadControls);
    void OpenSlotDrive(int nSlot);
    void ShowSlotError(int nSlot);

    // The folder picker's callback; lpData is the dialog.
    static int CALLBACK BrowseCallback(HWND hWnd, UINT nMessage, LPARAM lParam, LPARAM lpData);

    static const CMessageMapEntry<CKOBLDlg> kMessageMap[];

protected:
    void DoDataExchange(CDataExchange* pDX) override;
    BOOL PreTranslateMessage(MSG* pMsg) override;
    LRESULT WindowProc(UINT nMessage, WPARAM wParam, LPARAM lParam) override;
    BOOL OnInitDialog() override;
    bool OnWndMsg(UINT nMessage, WPARAM wParam, LPARAM lParam, LRESULT& lResult) override;
    void OnOK() override;
    void OnCancel() override;
    // The run Start has accepted, made from its own copy of the request.
    // Virtual for the tests, which look at what a run was asked to do before
    // any engine acts on it.
    virtual std::unique_ptr<CTaskRun> MakeRun(const TaskRequest& request);

private:
    LRESULT OnSysCommand(WPARAM wParam, LPARAM lParam);
    LRESULT OnPaint(WPARAM wParam, LPARAM lParam);
    LRESULT OnQueryDragIcon(WPARAM wParam, LPARAM lParam);
    LRESULT OnClose(WPARAM wParam, LPARAM lParam);
    LRESULT OnRunEndedMessage(WPARAM wParam, LPARAM lParam);
    LRESULT OnTimer(WPARAM wParam, LPARAM lParam);
    void FinishRun();
    void OnTaskChanged();
    void OnBrowse();
    void OnStartOrCancel();
    void StartRun();
    void CancelRun();
    void OnBrowseSelectionChanged(HWND hPicker, LPARAM lParam);

    // IRunListener, on the supervisor's thread.
    void OnRunEnded() override;

    // IRunPresence. Workers still use the slots' views: the dialog must
    // outlive every run.
    bool IsRunActive() const override { return m_pRun != nullptr; }

    HICON m_hIcon;   // shared resource icon: never destroyed
    std::wstring m_strSourceFolder;
    std::wstring m_strSourceVolume;
    // The Verify box, 0 or 1. Apart from the request because a Format never
    // verifies, yet the operator's tick must survive a Format run.
    int m_nVerify = 0;
    // As read at start: any number other than 0 ticks the box, and goes back
    // unchanged unless the operator changed the box.
    int m_nStoredVerify = 0;
    // The Used space only box and its stored value, kept like Verify's: a
    // File Copy or a Format leaves the tick for the next Sector Copy.
    int m_nUsedSpaceOnly = 0;
    int m_nStoredUsedSpaceOnly = 0;
    CComboBox m_cbFileSystem;
    // What the controls show; a run takes its own copy when Start accepts it.
    TaskRequest m_request;
    const PlatformServices m_services;
    CDriveSlotTable m_slots;
    std::array<CStaticTextView, MAX_DRIVE_SLOTS> m_letterViews;
    std::array<CProgressBarView, MAX_DRIVE_SLOTS> m_progressViews;
    std::array<CStaticTextView, MAX_DRIVE_SLOTS> m_statusViews;
    // From Start to the end of a run; last, so it goes first: a run must
    // not outlive the views it works on.
    std::unique_ptr<CTaskRun> m_pRun;
};
