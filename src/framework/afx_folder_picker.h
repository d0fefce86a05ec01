#pragma once
// The shell's folder picker, for every caller. The picker wants COM on the
// calling thread while it shows, and hands back an item list that is ours
// to free with CoTaskMemFree: both are looked after here, once.

#include <windows.h>
#include <shlobj.h>

#include <string>

// Shows the picker that info describes. False when the operator cancelled.
// Otherwise true, with the chosen item's path in strFolder, empty when the
// item has none in the file system.
bool AfxBrowseForFolder(BROWSEINFOW& info, std::wstring& strFolder);

// The path of an item list the picker hands over, to its callback or as its
// result; empty when the item has none. The item list stays the caller's.
std::wstring AfxGetPathFromIdList(PCIDLIST_ABSOLUTE pidl);
