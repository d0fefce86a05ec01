#pragma once
// Choosing the user-interface language at start-up from the user's locale.

#include <cstdint>

// What the choice asks of the system.
class IUiLanguagePlatform {
public:
    virtual ~IUiLanguagePlatform() = default;
    virtual uint32_t GetUserDefaultLcid() = 0;
    // False when the system version cannot be read.
    virtual bool GetMajorVersion(uint32_t& nMajor) = 0;
    // The thread's UI language after the call, as SetThreadUILanguage returns
    // it; 0 when the system has no such function.
    virtual uint16_t SetThreadUiLanguage(uint16_t nLangId) = 0;
    virtual bool SetThreadLocale(uint32_t nLcid) = 0;
};

// 1 when the calling thread now speaks lcid's language.
int ApplyThreadUiLanguage(IUiLanguagePlatform& platform, uint32_t nLcid);

// Applies the user's default language and records it in g_uiLangId;
// 0 leaves English in force.
int SelectUiLanguage(IUiLanguagePlatform& platform);
