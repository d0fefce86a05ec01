#include "bay/bay_text.h"

#include <cstdint>
#include <type_traits>

namespace {

constexpr bool BAY_WIDE_PATHS = std::is_same_v<std::filesystem::path::value_type, wchar_t>;

}  // namespace

bool Utf8ToWide(const std::string& str, std::wstring& strWide)
{
    strWide.clear();
    size_t i = 0;
    while (i < str.size()) {
        const unsigned char lead = static_cast<unsigned char>(str[i]);
        uint32_t nCode = 0;
        size_t nMore = 0;
        if (lead < 0x80) { nCode = lead; }
        else if ((lead & 0xE0) == 0xC0) { nCode = lead & 0x1F; nMore = 1; }
        else if ((lead & 0xF0) == 0xE0) { nCode = lead & 0x0F; nMore = 2; }
        else if ((lead & 0xF8) == 0xF0) { nCode = lead & 0x07; nMore = 3; }
        else return false;
        for (size_t k = 1; k <= nMore; ++k) {
            if (i + k >= str.size())
                return false;
            const unsigned char next = static_cast<unsigned char>(str[i + k]);
            if ((next & 0xC0) != 0x80)
                return false;
            nCode = (nCode << 6) | (next & 0x3F);
        }
        i += nMore + 1;
        if (nCode > 0x10FFFF || (nCode >= 0xD800 && nCode <= 0xDFFF))
            return false;
        if (sizeof(wchar_t) == 2 && nCode > 0xFFFF) {
            nCode -= 0x10000;
            strWide.push_back(static_cast<wchar_t>(0xD800 + (nCode >> 10)));
            strWide.push_back(static_cast<wchar_t>(0xDC00 + (nCode & 0x3FF)));
        } else {
            strWide.push_back(static_cast<wchar_t>(nCode));
        }
    }
    return true;
}

bool WideToUtf8(const std::wstring& strWide, std::string& str)
{
    str.clear();
    for (size_t i = 0; i < strWide.size(); ++i) {
        uint32_t nCode = static_cast<uint32_t>(strWide[i]);
        if (sizeof(wchar_t) == 2 && nCode >= 0xD800 && nCode <= 0xDBFF && i + 1 < strWide.size()) {
            const uint32_t nLow = static_cast<uint32_t>(strWide[i + 1]);
            if (nLow >= 0xDC00 && nLow <= 0xDFFF) {
                nCode = 0x10000 + ((nCode - 0xD800) << 10) + (nLow - 0xDC00);
                ++i;
            }
        }
        if ((nCode >= 0xD800 && nCode <= 0xDFFF) || nCode > 0x10FFFF)
            return false;
        if (nCode < 0x80) {
            str.push_back(static_cast<char>(nCode));
        } else if (nCode < 0x800) {
            str.push_back(static_cast<char>(0xC0 | (nCode >> 6)));
            str.push_back(static_cast<char>(0x80 | (nCode & 0x3F)));
        } else if (nCode < 0x10000) {
            str.push_back(static_cast<char>(0xE0 | (nCode >> 12)));
            str.push_back(static_cast<char>(0x80 | ((nCode >> 6) & 0x3F)));
            str.push_back(static_cast<char>(0x80 | (nCode & 0x3F)));
        } else {
            str.push_back(static_cast<char>(0xF0 | (nCode >> 18)));
            str.push_back(static_cast<char>(0x80 | ((nCode >> 12) & 0x3F)));
            str.push_back(static_cast<char>(0x80 | ((nCode >> 6) & 0x3F)));
            str.push_back(static_cast<char>(0x80 | (nCode & 0x3F)));
        }
    }
    return true;
}

bool PathFromWide(const std::wstring& strWide, std::filesystem::path& path)
{
    if constexpr (BAY_WIDE_PATHS) {
        path = std::filesystem::path(strWide);
        return true;
    } else {
        std::string strUtf8;
        if (!WideToUtf8(strWide, strUtf8))
            return false;
        path = std::filesystem::u8path(strUtf8);
        return true;
    }
}

bool WideFromPath(const std::filesystem::path& path, std::wstring& strWide)
{
    if constexpr (BAY_WIDE_PATHS) {
        strWide = path.wstring();
        return true;
    } else {
        // A host name that is not UTF-8 has no faithful wide form.
        return Utf8ToWide(path.u8string(), strWide);
    }
}
