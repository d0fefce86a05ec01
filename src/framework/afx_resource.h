#pragma once
// Dialog templates and strings loaded in an explicitly chosen language.
//
// Wine ignores SetThreadUILanguage when it picks resources, and Windows'
// own choice depends on the user's settings; asking for the language
// explicitly makes the result the same everywhere. Both functions fall back
// to US English, then to whatever language the resource exists in.

#include <windows.h>

#include <string>

constexpr LANGID AFX_LANG_ENGLISH_US = MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US);

// nullptr when the module holds no dialog nID in any language. The template
// lives as long as the module stays loaded.
const DLGTEMPLATE* AfxFindDialogTemplate(HINSTANCE hInstance, UINT nID, LANGID lang);

// Empty when the module holds no string nID in any language.
std::wstring AfxLoadString(HINSTANCE hInstance, UINT nID, LANGID lang);
