#pragma once
// Text conversions the bay needs on both of its platforms. Natively a
// std::filesystem::path converts wide text through the C locale, which
// refuses every non-ASCII name, so the bay goes through UTF-8 itself; with
// mingw paths are wide and these are plain copies.

#include <filesystem>
#include <string>

// False for malformed UTF-8 (bad lead or continuation bytes, surrogates).
bool Utf8ToWide(const std::string& str, std::wstring& strWide);
// False for a lone surrogate half.
bool WideToUtf8(const std::wstring& strWide, std::string& str);

// False when the text cannot name a file.
bool PathFromWide(const std::wstring& strWide, std::filesystem::path& path);
bool WideFromPath(const std::filesystem::path& path, std::wstring& strWide);
