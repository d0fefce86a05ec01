#pragma once
// The program's only window: task choice, source, Start, and the 22 drive slots.

#include <array>
#include <string>

#include "engine/drive_slot_table.h"
#include "engine/task_request.h"
#include "framework/afx_dialog.h"
#include "framework/afx_msgmap.h"
#include "platform/win32/slot_views_win32.h"

class IShellOpen;
class IVolumeQueries;

class CKOBLDlg : public CDialog {
public:
    CKOBLDlg(IVolumeQueries& volumes, IShellOpen& shell, CWnd* pParent = nullptr);
    ~CKOBLDlg() override;

    int InitDialogControls();
    int UpdateTaskControls(int nReadControls);
    void OpenSlotDrive(int nSlot);
    void ShowSlotError(int nSlot);

    static const CMessageMapEntry<CKOBLDlg> kMessageMap[];

protected:
    void DoDataExchange(CDataExchange* pDX) override;
    BOOL PreTranslateMessage(MSG* pMsg) override;
    LRESULT WindowProc(UINT nMessage, WPARAM wParam, LPARAM lParam) override;
    BOOL OnInitDialog() override;
    bool OnWndMsg(UINT nMessage, WPARAM wParam, LPARAM lParam, LRESULT& lResult) override;
    void OnOK() override;
    void OnCancel() override;

private:
    LRESULT OnSysCommand(WPARAM wParam, LPARAM lParam);
    LRESULT OnPaint(WPARAM wParam, LPARAM lParam);
    LRESULT OnQueryDragIcon(WPARAM wParam, LPARAM lParam);
    LRESULT OnClose(WPARAM wParam, LPARAM lParam);
    void OnTaskChanged();

    // Workers may still hold the slots and the request: the dialog must
    // outlive every run.
    bool IsRunActive() const { return m_request.IsRunning(); }

    HICON m_hIcon;   // shared resource icon: never destroyed
    std::wstring m_strSourceFolder;
    std::wstring m_strSourceVolume;
    CComboBox m_cbFileSystem;

protected:
    TaskRequest m_request;

private:
    CDriveSlotTable m_slots;
    std::array<CStaticTextView, MAX_DRIVE_SLOTS> m_letterViews;
    std::array<CProgressBarView, MAX_DRIVE_SLOTS> m_progressViews;
    std::array<CStaticTextView, MAX_DRIVE_SLOTS> m_statusViews;
    IShellOpen& m_shell;
};
