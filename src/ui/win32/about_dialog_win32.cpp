#include "ui/win32/about_dialog_win32.h"

#include <cwchar>
#include <string>

#include "base/win32/version_string_win32.h"
#include "framework/afx_app.h"
#include "ui/win32/about_resource.h"
#include "ui/win32/resource.h"

namespace {

// The compiler's own form, "Jun 19 2012": the day of the build.
constexpr wchar_t BUILD_DATE[] = L"" __DATE__;

std::wstring VersionStringOf(const std::wstring& strPath, int nField)
{
    wchar_t szValue[MAX_PATH] = {};
    // A failed query leaves the buffer empty, and so the line.
    QueryVersionString(strPath.c_str(), nField, szValue, MAX_PATH);
    return szValue;
}

}  // namespace

ClaAboutDlg::ClaAboutDlg(CWnd* pParent)
    : CDialog(IDD_ABOUTBOX, pParent),
      m_hIcon(LoadIconW(AfxGetResourceHandle(), MAKEINTRESOURCEW(IDR_MAINFRAME)))
{
}

BOOL ClaAboutDlg::OnInitDialog()
{
    CDialog::OnInitDialog();
    SetIcon(m_hIcon, TRUE);
    SetIcon(m_hIcon, FALSE);

    const std::wstring strExe = AfxGetModuleFileName(nullptr);
    const std::wstring strProductVersion = VersionStringOf(strExe, VERSION_FIELD_PRODUCT_VERSION);
    const std::wstring strCopyright = VersionStringOf(strExe, VERSION_FIELD_LEGAL_COPYRIGHT);

    const std::wstring strVersionLine = L"Version : " + strProductVersion + L" (" + BUILD_DATE + L")";
    SetDlgItemText(IDC_ABOUT_VERSION, strVersionLine);
    SetDlgItemText(IDC_ABOUT_COPYRIGHT, strCopyright);
    return TRUE;
}
