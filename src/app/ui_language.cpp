#include "app/ui_language.h"

#include "app/message_catalogue.h"

namespace {

constexpr uint32_t VISTA_TO_8_1_MAJOR_VERSION = 6;

uint16_t LangIdOf(uint32_t nLcid)
{
    return static_cast<uint16_t>(nLcid & 0xFFFF);
}

}  // namespace

int ApplyThreadUiLanguage(IUiLanguagePlatform& platform, uint32_t nLcid)
{
    uint32_t nMajor = 0;
    if (!platform.GetMajorVersion(nMajor))
        return 0;
    // Vista to 8.1 choose resources by the thread UI language; the other
    // systems are told through the thread locale.
    if (nMajor == VISTA_TO_8_1_MAJOR_VERSION) {
        const uint16_t nLangId = LangIdOf(nLcid);
        return platform.SetThreadUiLanguage(nLangId) == nLangId ? 1 : 0;
    }
    return platform.SetThreadLocale(nLcid) ? 1 : 0;
}

int SelectUiLanguage(IUiLanguagePlatform& platform)
{
    const uint32_t nLcid = platform.GetUserDefaultLcid();
    if (!ApplyThreadUiLanguage(platform, nLcid))
        return 0;
    g_uiLangId = LangIdOf(nLcid);
    return 1;
}
