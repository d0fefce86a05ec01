#pragma once

// Application name, caption of every message box and of the main dialog,
// and the firewall entry's name.
constexpr wchar_t APP_TITLE[] = L"CORVANTIS USB Copy";

// Local (per logon session) name: a second copy in the same session finds it.
constexpr wchar_t APP_START_MUTEX_NAME[] = L"__MTX_TORQA_APP_START__";
