#include "framework/afx_ddx.h"

#include <iterator>
#include <string>

#include "framework/afx_app.h"

namespace {

constexpr wchar_t MAX_CHARS_PROMPT[] = L"Please enter no more than %1 characters.";

bool IsRadioButton(HWND hWnd)
{
    wchar_t szClass[16] = {};
    if (::GetClassNameW(hWnd, szClass, static_cast<int>(std::size(szClass))) == 0 ||
        ::lstrcmpiW(szClass, L"Button") != 0)
        return false;
    const LONG_PTR nType = ::GetWindowLongPtrW(hWnd, GWL_STYLE) & BS_TYPEMASK;
    return nType == BS_RADIOBUTTON || nType == BS_AUTORADIOBUTTON;
}

bool StartsGroup(HWND hWnd)
{
    return (::GetWindowLongPtrW(hWnd, GWL_STYLE) & WS_GROUP) != 0;
}

std::wstring ReplaceFirst(std::wstring strText, const std::wstring& strFrom, const std::wstring& strTo)
{
    const size_t nPos = strText.find(strFrom);
    if (nPos != std::wstring::npos)
        strText.replace(nPos, strFrom.size(), strTo);
    return strText;
}

} // namespace

CDataExchange::CDataExchange(CWnd* pDlgWnd, BOOL bSaveAndValidate)
    : m_bSaveAndValidate(bSaveAndValidate), m_pDlgWnd(pDlgWnd)
{
}

HWND CDataExchange::PrepareCtrl(int nIDC)
{
    if (m_bFailed)
        return nullptr;
    m_hWndLastControl = m_pDlgWnd != nullptr ? m_pDlgWnd->GetDlgItem(nIDC) : nullptr;
    if (m_hWndLastControl == nullptr) {
        // An exchange with a control the template lacks would leave its
        // member stale without anyone noticing; fail it instead.
        Fail();
    }
    return m_hWndLastControl;
}

void CDataExchange::Fail()
{
    m_bFailed = true;
    if (m_hWndLastControl == nullptr)
        return;
    ::SetFocus(m_hWndLastControl);
    // Selecting the rejected text lets the user type over it at once.
    if (::SendMessageW(m_hWndLastControl, WM_GETDLGCODE, 0, 0) & DLGC_HASSETSEL)
        ::SendMessageW(m_hWndLastControl, EM_SETSEL, 0, -1);
}

void DDX_Text(CDataExchange* pDX, int nIDC, std::wstring& value)
{
    HWND hCtrl = pDX->PrepareCtrl(nIDC);
    if (hCtrl == nullptr)
        return;
    if (pDX->m_bSaveAndValidate)
        value = CWnd::ReadWindowText(hCtrl);
    else
        ::SetWindowTextW(hCtrl, value.c_str());
}

void DDX_Check(CDataExchange* pDX, int nIDC, int& value)
{
    HWND hCtrl = pDX->PrepareCtrl(nIDC);
    if (hCtrl == nullptr)
        return;
    if (pDX->m_bSaveAndValidate)
        value = static_cast<int>(::SendMessageW(hCtrl, BM_GETCHECK, 0, 0));
    else
        ::SendMessageW(hCtrl, BM_SETCHECK, static_cast<WPARAM>(value), 0);
}

void DDX_Radio(CDataExchange* pDX, int nIDC, int& value)
{
    HWND hCtrl = pDX->PrepareCtrl(nIDC);
    if (hCtrl == nullptr)
        return;
    // Without WS_GROUP on the first button the group's extent is undefined:
    // the walk would start in the middle of some other group.
    if (!StartsGroup(hCtrl)) {
        pDX->Fail();
        return;
    }
    if (pDX->m_bSaveAndValidate)
        value = -1;
    int nIndex = 0;
    HWND hWnd = hCtrl;
    do {
        if (IsRadioButton(hWnd)) {
            if (pDX->m_bSaveAndValidate) {
                if (value == -1 && ::SendMessageW(hWnd, BM_GETCHECK, 0, 0) == BST_CHECKED)
                    value = nIndex;
            } else {
                ::SendMessageW(hWnd, BM_SETCHECK, nIndex == value ? BST_CHECKED : BST_UNCHECKED, 0);
            }
            ++nIndex;
        }
        hWnd = ::GetWindow(hWnd, GW_HWNDNEXT);
    } while (hWnd != nullptr && !StartsGroup(hWnd));
}

void DDX_Control(CDataExchange* pDX, int nIDC, CWnd& control)
{
    HWND hCtrl = pDX->PrepareCtrl(nIDC);
    if (hCtrl == nullptr || control.m_hWnd == hCtrl)
        return;
    // A wrapper still speaking for another live window means two DDX_Control
    // calls share one member: refuse rather than silently move it.
    if (!control.Attach(hCtrl)) {
        pDX->Fail();
        return;
    }
    pDX->m_attachedControls.emplace_back(&control, hCtrl);
}

void DDV_MaxChars(CDataExchange* pDX, const std::wstring& value, int nChars)
{
    if (pDX->IsFailed() || nChars < 0)
        return;
    if (!pDX->m_bSaveAndValidate) {
        if (pDX->m_hWndLastControl != nullptr)
            ::SendMessageW(pDX->m_hWndLastControl, EM_LIMITTEXT, static_cast<WPARAM>(nChars), 0);
        return;
    }
    if (value.size() > static_cast<size_t>(nChars)) {
        AfxMessageBox(ReplaceFirst(MAX_CHARS_PROMPT, L"%1", std::to_wstring(nChars)), MB_ICONEXCLAMATION);
        pDX->Fail();
    }
}
