#pragma once
// The language choice over the system's own locale calls.

#include "app/ui_language.h"

class CWin32UiLanguagePlatform : public IUiLanguagePlatform {
public:
    uint32_t GetUserDefaultLcid() override;
    bool GetMajorVersion(uint32_t& nMajor) override;
    uint16_t SetThreadUiLanguage(uint16_t nLangId) override;
    bool SetThreadLocale(uint32_t nLcid) override;
};

// Start-up's language selection on the calling thread; also makes the
// framework load templates and strings in the chosen language.
int SelectUiLanguage();
