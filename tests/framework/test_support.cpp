#include "test_support.h"

#include <utility>

namespace {

constexpr UINT_PTR HANG_GUARD_TIMER = 0xC0DE;
// Only a hung test ever reaches these; passing runs never wait on them.
constexpr UINT HANG_GUARD_MS = 30000;
constexpr int MESSAGE_BOX_POLL_MS = 20;
constexpr int MESSAGE_BOX_POLLS = 1000;

} // namespace

CScopedTestApp::CScopedTestApp(const std::wstring& strName) : m_pPrevious(AfxGetApp())
{
    m_app.SetAppName(strName);
    AfxSetApp(&m_app);
}

CScopedTestApp::~CScopedTestApp()
{
    AfxSetApp(m_pPrevious);
}

CScopedResourceLanguage::CScopedResourceLanguage(LANGID lang) : m_previous(AfxGetResourceLanguage())
{
    AfxSetResourceLanguage(lang);
}

CScopedResourceLanguage::~CScopedResourceLanguage()
{
    AfxSetResourceLanguage(m_previous);
}

constexpr CMessageMapEntry<CStepDialog> CStepDialog::kMessageMap[] = {
    MapMessage<CStepDialog>(WM_TEST_STEP, &CStepDialog::OnTestStep),
    MapMessage<CStepDialog>(WM_TIMER, &CStepDialog::OnTimer),
};
static_assert(!HasDuplicateEntries(CStepDialog::kMessageMap));

CStepDialog::CStepDialog(UINT nIDTemplate, CWnd* pParent) : CDialog(nIDTemplate, pParent) {}

INT_PTR CStepDialog::RunSteps(std::vector<Step> steps)
{
    m_steps = std::move(steps);
    return DoModal();
}

BOOL CStepDialog::OnInitDialog()
{
    m_bInitDialogRan = true;
    const BOOL bResult = CDialog::OnInitDialog();
    ::SetTimer(m_hWnd, HANG_GUARD_TIMER, HANG_GUARD_MS, nullptr);
    if (!m_steps.empty())
        PostMessage(WM_TEST_STEP, 0);
    return bResult;
}

bool CStepDialog::OnWndMsg(UINT nMsg, WPARAM wParam, LPARAM lParam, LRESULT& lResult)
{
    return DispatchMessageMap(*this, kMessageMap, nMsg, wParam, lParam, lResult) ||
           CDialog::OnWndMsg(nMsg, wParam, lParam, lResult);
}

LRESULT CStepDialog::OnTestStep(WPARAM wParam, LPARAM)
{
    const size_t nStep = wParam;
    if (nStep >= m_steps.size())
        return 0;
    m_steps[nStep](*this);
    if (nStep + 1 < m_steps.size() && m_hWnd != nullptr)
        PostMessage(WM_TEST_STEP, nStep + 1);
    return 0;
}

LRESULT CStepDialog::OnTimer(WPARAM wParam, LPARAM)
{
    if (wParam != HANG_GUARD_TIMER)
        return Default();
    EndDialog(static_cast<int>(DIALOG_HUNG));
    return 0;
}

CMessageBoxAnswerer::CMessageBoxAnswerer(std::wstring strCaption)
    : m_strCaption(std::move(strCaption)), m_thread([this] { Run(); })
{
}

CMessageBoxAnswerer::~CMessageBoxAnswerer()
{
    if (m_thread.joinable())
        m_thread.join();
}

bool CMessageBoxAnswerer::Join()
{
    if (m_thread.joinable())
        m_thread.join();
    return m_bAnswered;
}

void CMessageBoxAnswerer::Run()
{
    for (int nPoll = 0; nPoll < MESSAGE_BOX_POLLS; ++nPoll) {
        HWND hBox = ::FindWindowW(L"#32770", m_strCaption.c_str());
        if (hBox != nullptr && ::IsWindowVisible(hBox)) {
            m_strText = CWnd::ReadWindowText(::GetDlgItem(hBox, 0xFFFF));
            m_hOwner = ::GetWindow(hBox, GW_OWNER);
            ::PostMessageW(hBox, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
            m_bAnswered = true;
            return;
        }
        ::Sleep(MESSAGE_BOX_POLL_MS);
    }
}
