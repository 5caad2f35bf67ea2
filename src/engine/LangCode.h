// Language codes as the engines report them ("en", "ja", "zh-hans" ...) and
// what Windows and PowerPoint need for them. Pure functions; comparisons
// ignore the case of ASCII A-Z only. Unknown codes get the English defaults.
#pragma once

#include <cstdint>
#include <string>

namespace engine {

// "zh-cn"/"zh-sg" -> "zh-hans", "zh-tw"/"zh-hk"/"zh-mo" -> "zh-hant"; any
// other code (plain "zh" too) comes back unchanged.
std::wstring NormalizeLangCode(const std::wstring& code);

// GDI character set (SHIFTJIS_CHARSET 128, ANSI_CHARSET 0 ...).
std::int32_t LangCharset(const std::wstring& code);

// ANSI code page (932, 1252 ...).
std::int32_t LangCodePage(const std::wstring& code);

// Windows locale id (1041, 1033 ...).
std::uint32_t LangLcid(const std::wstring& code);

// Text put after each translated sentence in that target language: empty for
// Japanese and Chinese, one blank for Korean, two blanks otherwise.
std::wstring SentenceSeparator(const std::wstring& code);

}  // namespace engine
