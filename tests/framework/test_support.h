#pragma once
// Shared by the framework tests: a registered application, a dialog that
// runs scripted steps inside its own modal loop, and a helper thread that
// answers a message box.

#include <windows.h>

#include <atomic>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "framework/afx_app.h"
#include "framework/afx_dialog.h"
#include "framework/afx_msgmap.h"
#include "framework_test_resource.h"

constexpr wchar_t TEST_APP_NAME[] = L"CorvantisFrameworkTest";
// The tests' executable, as AfxWinMain and AfxMessageBox name it.
constexpr wchar_t TEST_EXE_BASE_NAME[] = L"framework_tests";

// Makes an application current for one test, then restores the previous one.
class CScopedTestApp {
public:
    explicit CScopedTestApp(const std::wstring& strName = TEST_APP_NAME);
    ~CScopedTestApp();

    CWinApp m_app;

private:
    CWinApp* m_pPrevious;
};

class CScopedResourceLanguage {
public:
    explicit CScopedResourceLanguage(LANGID lang);
    ~CScopedResourceLanguage();

private:
    LANGID m_previous;
};

constexpr UINT WM_TEST_STEP = WM_APP + 100;
// DoModal's result when a test dialog hung and its guard timer ended it.
constexpr INT_PTR DIALOG_HUNG = -100;

// Runs each step from a message of its own, posted after the previous step,
// so that every step runs inside the dialog's modal loop and sees the effects
// of whatever the previous step posted.
class CStepDialog : public CDialog {
public:
    using Step = std::function<void(CStepDialog&)>;

    explicit CStepDialog(UINT nIDTemplate = IDD_TEST_DIALOG, CWnd* pParent = nullptr);

    INT_PTR RunSteps(std::vector<Step> steps);

    BOOL OnInitDialog() override;
    bool OnWndMsg(UINT nMsg, WPARAM wParam, LPARAM lParam, LRESULT& lResult) override;

    bool m_bInitDialogRan = false;
    static const CMessageMapEntry<CStepDialog> kMessageMap[];

private:
    LRESULT OnTestStep(WPARAM wParam, LPARAM lParam);
    LRESULT OnTimer(WPARAM wParam, LPARAM lParam);

    std::vector<Step> m_steps;
};

// Finds the message box captioned strCaption from a thread of its own,
// records its text and owner and presses OK. Gives up after a bounded wait.
class CMessageBoxAnswerer {
public:
    explicit CMessageBoxAnswerer(std::wstring strCaption);
    ~CMessageBoxAnswerer();

    // Waits for the thread; true when a box was found and answered.
    bool Join();

    std::wstring m_strText;
    HWND m_hOwner = nullptr;

private:
    void Run();

    std::wstring m_strCaption;
    bool m_bAnswered = false;
    std::thread m_thread;
};
