#include "framework/afx_resource.h"

#include <vector>

namespace {

const void* LoadResourceData(HINSTANCE hInstance, HRSRC hResource, DWORD* pcbSize)
{
    if (hResource == nullptr)
        return nullptr;
    HGLOBAL hData = ::LoadResource(hInstance, hResource);
    if (hData == nullptr)
        return nullptr;
    if (pcbSize != nullptr)
        *pcbSize = ::SizeofResource(hInstance, hResource);
    return ::LockResource(hData);
}

// A string table block holds 16 counted strings: a WORD length and that many
// UTF-16 units each. The block's size comes from the module, so every read
// stays inside it even when the block is malformed.
std::wstring StringFromBlock(const void* pBlock, DWORD cbBlock, UINT nIndex)
{
    const WORD* pWord = static_cast<const WORD*>(pBlock);
    const WORD* pEnd = pWord + cbBlock / sizeof(WORD);
    for (UINT i = 0; pWord < pEnd; ++i) {
        const WORD nLength = *pWord++;
        if (nLength > pEnd - pWord)
            return {};
        if (i == nIndex)
            return std::wstring(reinterpret_cast<const wchar_t*>(pWord), nLength);
        pWord += nLength;
    }
    return {};
}

std::wstring LoadStringInLanguage(HINSTANCE hInstance, UINT nBlock, UINT nIndex, LANGID lang)
{
    DWORD cbBlock = 0;
    HRSRC hResource = ::FindResourceExW(hInstance, RT_STRING, MAKEINTRESOURCEW(nBlock), lang);
    const void* pBlock = LoadResourceData(hInstance, hResource, &cbBlock);
    if (pBlock == nullptr)
        return {};
    return StringFromBlock(pBlock, cbBlock, nIndex);
}

BOOL CALLBACK CollectLanguage(HMODULE, LPCWSTR, LPCWSTR, WORD wLanguage, LONG_PTR lParam)
{
    try {
        reinterpret_cast<std::vector<LANGID>*>(lParam)->push_back(wLanguage);
        return TRUE;
    } catch (...) {
        return FALSE;
    }
}

} // namespace

const DLGTEMPLATE* AfxFindDialogTemplate(HINSTANCE hInstance, UINT nID, LANGID lang)
{
    HRSRC hResource = ::FindResourceExW(hInstance, RT_DIALOG, MAKEINTRESOURCEW(nID), lang);
    if (hResource == nullptr && lang != AFX_LANG_ENGLISH_US)
        hResource = ::FindResourceExW(hInstance, RT_DIALOG, MAKEINTRESOURCEW(nID), AFX_LANG_ENGLISH_US);
    if (hResource == nullptr)
        hResource = ::FindResourceW(hInstance, MAKEINTRESOURCEW(nID), RT_DIALOG);
    return static_cast<const DLGTEMPLATE*>(LoadResourceData(hInstance, hResource, nullptr));
}

// The fallback is decided per string rather than per block: a translation
// may carry some strings of a block and not others, and a missing one should
// still read in English rather than come back empty.
std::wstring AfxLoadString(HINSTANCE hInstance, UINT nID, LANGID lang)
{
    // String ids are 16-bit; a larger one would alias a real string.
    if (nID > 0xFFFF)
        return {};
    const UINT nBlock = nID / 16 + 1;
    const UINT nIndex = nID % 16;

    std::wstring strText = LoadStringInLanguage(hInstance, nBlock, nIndex, lang);
    if (strText.empty() && lang != AFX_LANG_ENGLISH_US)
        strText = LoadStringInLanguage(hInstance, nBlock, nIndex, AFX_LANG_ENGLISH_US);
    if (strText.empty()) {
        std::vector<LANGID> languages;
        ::EnumResourceLanguagesW(hInstance, RT_STRING, MAKEINTRESOURCEW(nBlock), CollectLanguage,
                                 reinterpret_cast<LONG_PTR>(&languages));
        for (LANGID other : languages) {
            strText = LoadStringInLanguage(hInstance, nBlock, nIndex, other);
            if (!strText.empty())
                break;
        }
    }
    return strText;
}
