#pragma once

// Application name, caption of every message box and of the main dialog,
// and the firewall entry's name.
constexpr wchar_t APP_TITLE[] = L"CORVANTIS USB Copy";

// Local (per logon session) name: a second copy in the same session finds it.
constexpr wchar_t APP_START_MUTEX_NAME[] = L"__MTX_TORQA_APP_START__";

// The framework's registry key; with the profile name (the executable's base
// name) it places the per-user settings.
constexpr wchar_t APP_REGISTRY_KEY[] = L"Local AppWizard-Generated Applications";
